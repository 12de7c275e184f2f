// Drives the shared desktop from the command line (see SimControlCommandLine for the commands):
//
//     LORVANTINE_DESKTOP_SOCKET=<path> lorvantine-desktop click 400 300
#include "Platform/Backends/DesktopSocket.h"
#include "Platform/Backends/RemoteDesktop.h"
#include "SimDesktop/Control/SimControlCommandLine.h"

#include <csignal>
#include <cstdlib>
#include <iostream>

int main(int argc, char** argv)
{
    using namespace lorvantine;
    std::signal(SIGPIPE, SIG_IGN);
    const char* path = std::getenv(DesktopSocket::environmentVariable);
    if (!path || !*path) {
        std::cerr << "lorvantine-desktop: set " << DesktopSocket::environmentVariable
                  << " to the socket lorvantine-desktop-server printed\n";
        return 2;
    }
    std::string error;
    auto remote = RemoteDesktop::connect(path, error);
    if (!remote) {
        std::cerr << "lorvantine-desktop: " << error << '\n';
        return 1;
    }
    return SimControlCommandLine::run(std::vector<std::string>(argv + 1, argv + argc), remote->services(), std::cout, std::cerr);
}
