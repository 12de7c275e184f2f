#include "Platform/Backends/ClockPacedSink.h"

namespace lorvantine {

bool ClockPacedSink::open(const AudioFormat& preferred, AudioFormat& actual, std::string&)
{
    actual = preferred;
    return true;
}

} // namespace lorvantine
