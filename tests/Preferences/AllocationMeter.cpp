#include "Preferences/AllocationMeter.h"

#include <atomic>
#include <cstdlib>
#include <malloc.h>
#include <new>

namespace {

std::atomic<size_t> heldBytes {0};
std::atomic<size_t> mostHeldBytes {0};
std::atomic<bool> metering {false};

void noteAllocation(void* pointer)
{
    const size_t size = malloc_usable_size(pointer);
    const size_t held = heldBytes.fetch_add(size, std::memory_order_relaxed) + size;
    if (!metering.load(std::memory_order_relaxed))
        return;
    size_t most = mostHeldBytes.load(std::memory_order_relaxed);
    while (held > most && !mostHeldBytes.compare_exchange_weak(most, held, std::memory_order_relaxed)) {
    }
}

} // namespace

// The other forms (arrays, no-throw, sized) of the standard library call these two.
void* operator new(std::size_t size)
{
    void* pointer = std::malloc(size == 0 ? 1 : size);
    if (!pointer)
        throw std::bad_alloc();
    noteAllocation(pointer);
    return pointer;
}

void operator delete(void* pointer) noexcept
{
    if (!pointer)
        return;
    heldBytes.fetch_sub(malloc_usable_size(pointer), std::memory_order_relaxed);
    std::free(pointer);
}

void operator delete(void* pointer, std::size_t) noexcept
{
    operator delete(pointer);
}

namespace lorvantine::test {

AllocationMeter::AllocationMeter()
    : m_start(heldBytes.load())
{
    mostHeldBytes.store(m_start);
    metering.store(true);
}

AllocationMeter::~AllocationMeter()
{
    metering.store(false);
}

size_t AllocationMeter::peakBytes() const
{
    const size_t most = mostHeldBytes.load();
    return most > m_start ? most - m_start : 0;
}

} // namespace lorvantine::test
