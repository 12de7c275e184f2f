#include "SimDesktop/Control/SimControlCommandLine.h"

#include "Platform/Backends/DesktopCommands.h"
#include "SimDesktop/Control/SimControlActions.h"
#include "SimDesktop/Control/SimControlCommand.h"

#include <nlohmann/json.hpp>

#include <ostream>

namespace lorvantine::SimControlCommandLine {

namespace {

constexpr const char* controlWordsUsage = "   or a control line: click X Y [COUNT] | drag X1 Y1 X2 Y2 | key KEY [MODIFIER]... |\n"
                                          "       scroll X Y LINES | front BUNDLE_ID | press TITLE | type TEXT | windows\n";

// The arguments as one control line: a word the shell kept whole stays one word.
std::string controlLineOf(const std::vector<std::string>& args)
{
    std::string line;
    for (const std::string& arg : args) {
        if (!line.empty())
            line += ' ';
        const bool plain = !arg.empty() && arg.find_first_of(" \t\"") == std::string::npos;
        line += plain ? arg : nlohmann::json(arg).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    }
    return line;
}

} // namespace

int run(const std::vector<std::string>& args, const PlatformServices& ports, std::ostream& out, std::ostream& err)
{
    if (auto status = DesktopCommands::runIfKnown(args, ports, out, err))
        return *status;
    auto command = args.empty() ? Unexpected(std::string("empty line")) : SimControlCommand::parse(controlLineOf(args));
    if (!command) {
        // Its own usage first: DesktopCommands does nothing more for arguments it does not know.
        const int status = DesktopCommands::run(args, ports, out, err);
        err << controlWordsUsage << SimControlActions::answerLine("error " + command.error()) << '\n';
        return status;
    }
    auto answer = SimControlActions::perform(*command, ports);
    if (!answer) {
        err << "error " << args.front() << " is taken by the application's control channel only\n";
        return 2;
    }
    const bool failed = answer->starts_with("error");
    (failed ? err : out) << SimControlActions::answerLine(*answer) << '\n';
    return failed ? 1 : 0;
}

} // namespace lorvantine::SimControlCommandLine
