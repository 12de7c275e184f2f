#include "FuzzCheck.h"
#include "SimDesktop/Control/SimControlCommand.h"
#include "Support/Text.h"

#include <cmath>
#include <cstdint>
#include <string_view>

// Lines as the control channel receives them: each is read without throwing, and what is taken
// stays within what the channel promises to carry out.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace lorvantine;
    std::string_view input(reinterpret_cast<const char*>(data), size);
    while (!input.empty()) {
        const size_t end = input.find('\n');
        const std::string_view line = input.substr(0, end);
        input = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
        auto command = SimControlCommand::parse(line);
        if (!command) {
            fuzz::check(!command.error().empty(), "a refusal says why");
            fuzz::check(Text::isValidUtf8(command.error()), "a refusal is UTF-8 text");
            continue;
        }
        fuzz::check(line.size() <= SimControlCommand::maxLineBytes, "an oversized line is refused");
        for (const Point& p : { command->from, command->to })
            fuzz::check(std::isfinite(p.x) && std::isfinite(p.y) && std::fabs(p.x) <= 1e6 && std::fabs(p.y) <= 1e6,
                        "points are finite and on a plausible desktop");
        fuzz::check(command->clickCount >= 1 && command->clickCount <= 3, "click counts are 1 to 3");
        fuzz::check(command->keyCode <= 127, "key codes are those of a keyboard");
        fuzz::check(std::abs(command->lines) <= 1000, "scrolls are bounded");
        fuzz::check(Text::isValidUtf8(command->text), "texts are UTF-8");
        using Verb = SimControlCommand::Verb;
        if (command->verb == Verb::front || command->verb == Verb::press || command->verb == Verb::snapshot)
            fuzz::check(!command->text.empty(), "a named target is never empty");
    }
    return 0;
}
