// Stands in for lorvantine-main beside a copy of the launcher, to show what the launcher hands
// over. Before anything else it sends itself each signal that ends a run, as a Ctrl+C or a kill
// that lands while the program proper loads would come, and says which it found waiting; one the
// launcher did not hold back ends it at once by the system's default action.
//
//   lorvantine-main [any arguments]

#include "CLI/SignalSource.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

int main()
{
    for (int signalNumber : lorvantine::SignalSource::endingSignals)
        kill(getpid(), signalNumber);
    sigset_t pending;
    sigpending(&pending);
    for (int signalNumber : lorvantine::SignalSource::endingSignals)
        std::printf("SIG%s %s\n", sigabbrev_np(signalNumber), sigismember(&pending, signalNumber) == 1 ? "held" : "not held");
    return 0;
}
