// `lorvantine`, what people run: it becomes the program proper, lorvantine-main beside it, in the
// same process, with the same arguments, environment and descriptors, and with Ctrl+C, SIGTERM and
// SIGHUP held back (blocked) on the way. Loading the program's hundred-odd shared libraries takes
// tens of milliseconds before any code of its own runs, and until then the system's default action
// would end it half made; held back, a signal that comes meanwhile waits, pending, and the program
// takes it from its first line on (see SignalSource::holdForTheProcess). This file links nothing
// but the C library, so that it is loaded in a moment.

#include "CLI/SignalSource.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

int main(int, char** argv)
{
    sigset_t ending;
    sigset_t before;
    sigemptyset(&ending);
    for (int signalNumber : lorvantine::SignalSource::endingSignals)
        sigaddset(&ending, signalNumber);
    sigprocmask(SIG_BLOCK, &ending, &before);

    static constexpr char programName[] = "lorvantine-main";
    char program[PATH_MAX + sizeof programName];
    const ssize_t length = readlink("/proc/self/exe", program, PATH_MAX);
    char* slash = length > 0 ? static_cast<char*>(memrchr(program, '/', static_cast<size_t>(length))) : nullptr;
    if (slash) {
        std::memcpy(slash + 1, programName, sizeof programName);
        execv(program, argv);
    }
    const int error = errno;
    sigprocmask(SIG_SETMASK, &before, nullptr);
    // The program proper is looked for where the launcher itself lies (a link to the launcher
    // leads there): a copy made elsewhere without it finds nothing, and a person must be told
    // what is missing and where it was looked for, not only that a start failed.
    if (!slash)
        std::fprintf(stderr, "lorvantine: cannot tell where this launcher lies, to start %s beside it: /proc/self/exe: %s\n",
                     programName, std::strerror(error));
    else if (error == ENOENT)
        std::fprintf(stderr,
                     "lorvantine: the program proper, %s, is missing: it was looked for beside this launcher, as %s (%s); "
                     "copy both programs together, or link to the launcher where it was built\n",
                     programName, program, std::strerror(error));
    else
        std::fprintf(stderr, "lorvantine: cannot start the program proper, %s, beside this launcher: %s\n", program, std::strerror(error));
    return 127;
}
