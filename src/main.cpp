#include <cstdio>
#include <string_view>

// Any argument that begins with "--" selects the command line; otherwise the menu-bar
// application runs. Neither face is built yet beyond this choice.
int main(int argc, char** argv)
{
    bool commandLine = false;
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]).starts_with("--"))
            commandLine = true;
    }
    if (commandLine) {
        std::fprintf(stderr, "lorvantine: the command line is not available in this build\n");
        return 1;
    }
    std::fprintf(stderr, "lorvantine: the menu-bar application is not available in this build\n");
    return 1;
}
