// Serves one simulated desktop to the processes of this user, so that several of them (the
// program, a probe runner, a person's command line) share it:
//
//     lorvantine-desktop-server [fixture.json]
//
// The socket is LORVANTINE_DESKTOP_SOCKET when set, else one in the user's runtime directory;
// its path is printed as "LORVANTINE_DESKTOP_SOCKET=<path>" once it listens. SIGINT or SIGTERM
// stop the server and remove the socket.
#include "Platform/Backends/DesktopSocket.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Dispatch/Scheduler.h"
#include "SimDesktop/Served/DesktopServer.h"
#include "SimDesktop/SimDesktop.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <pthread.h>
#include <string>
#include <system_error>
#include <thread>

using namespace lorvantine;

int main(int argc, char** argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    if (argc > 2) {
        std::fprintf(stderr, "usage: lorvantine-desktop-server [fixture.json]\n");
        return 2;
    }
    RunLoop::adoptCurrentThreadAsMain();
    std::string error;
    auto desktop = argc == 2 ? SimDesktop::load(argv[1], error) : SimDesktop::fromEnvironment(error);
    if (!desktop) {
        std::fprintf(stderr, "lorvantine-desktop-server: %s\n", error.c_str());
        return 2;
    }
    std::string path;
    if (const char* given = std::getenv(DesktopSocket::environmentVariable); given && *given) {
        path = given;
    } else {
        auto made = DesktopSocket::defaultPath();
        if (!made) {
            std::fprintf(stderr, "lorvantine-desktop-server: %s\n", made.error().c_str());
            return 2;
        }
        path = made.value();
    }

    // Signals are taken by a thread of their own, which stops the main run loop.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    auto server = DesktopServer::start(desktop, path, error);
    if (!server) {
        std::fprintf(stderr, "lorvantine-desktop-server: %s\n", error.c_str());
        return 1;
    }
    // Everything the server runs on is up before it says where it listens: whoever reads that
    // line may at once hold the process to what it has (its memory, its descriptors).
    std::thread signals;
    try {
        // Delayed work's thread starts on first use, which would otherwise come with a client.
        Scheduler::shared();
        signals = std::thread([&stopSignals] {
            int signal = 0;
            sigwait(&stopSignals, &signal);
            RunLoop::stop();
        });
    } catch (const std::system_error& failure) {
        std::fprintf(stderr, "lorvantine-desktop-server: cannot start its threads (%s)\n", failure.what());
        return 1;
    }
    std::printf("%s=%s\n", DesktopSocket::environmentVariable, server->path().c_str());
    std::fflush(stdout);
    RunLoop::run();
    signals.join();
    server.reset();
    return 0;
}
