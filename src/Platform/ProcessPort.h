#pragma once

#include "Support/Expected.h"

#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

// How a program that ran to its end finished.
struct ProcessOutcome {
    int exitStatus = 0;
    std::string standardError; // everything it wrote there, as bytes
    friend bool operator==(const ProcessOutcome&, const ProcessOutcome&) = default;
};

// Other programs of the machine ("/usr/bin/open", "/usr/bin/osascript"), run to their end.
// Callable from any thread; a run blocks the caller until the program exits.
class ProcessPort {
public:
    virtual ~ProcessPort() = default;

    // Runs `program` (an absolute path) with `arguments` and waits for it to exit. The error is
    // the description of why it could not be started.
    virtual Expected<ProcessOutcome, std::string> run(const std::string& program, const std::vector<std::string>& arguments) = 0;

    // The device path of this process's controlling terminal ("/dev/ttys003"); none without one.
    virtual std::optional<std::string> controllingTerminal() = 0;
};

} // namespace lorvantine
