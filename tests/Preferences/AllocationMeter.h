#pragma once

#include <cstddef>

namespace lorvantine::test {

// The most heap memory held at once while the meter lives, above what was held when it started.
// This test binary replaces operator new and delete to keep the count, so the meter sees every
// thread's allocations: measure only while nothing else in the process works. One at a time.
class AllocationMeter {
public:
    AllocationMeter();
    ~AllocationMeter();
    AllocationMeter(const AllocationMeter&) = delete;
    AllocationMeter& operator=(const AllocationMeter&) = delete;

    size_t peakBytes() const;

private:
    size_t m_start = 0;
};

} // namespace lorvantine::test
