#include "SimDesktop/SimDesktop.h"
#include "SimDesktop/Model/SimFixtureLoader.h"

#include <cstdint>
#include <string_view>

// A fixture either loads into a desktop that answers, or is refused with a message.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    auto fixture = lorvantine::SimFixtureLoader::parse(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.json");
    if (!fixture) {
        if (fixture.error().empty())
            __builtin_trap();
        return 0;
    }
    auto desktop = lorvantine::SimDesktop::create(*fixture);
    (void)desktop->services();
    return 0;
}
