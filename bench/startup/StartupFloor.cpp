// The floor bench_startup measures lorvantine against: the program's own link line around a main
// that touches nothing and sends the first speech request through the build's HTTP session, so
// it pays only for loading the libraries, starting and that request. With --desktop it first
// has the demo desktop lay out the text of the application in front: the work that on a real
// desktop that application has done before the program starts.
//
//   bench_startup_floor [--desktop] <server base URL>

#include "Platform/AccessibilityPort.h"
#include "Platform/HttpPort.h"
#include "Platform/Services.h"
#include "SimDesktop/SimDesktop.h"

#include <cstdio>
#include <future>
#include <string>

using namespace lorvantine;

namespace {

// Asks every element for its frame, which makes the desktop lay out the text around it.
void askFrames(AccessibilityPort& ax, const AXElement& element, int depth)
{
    AXValue value;
    ax.copyAttributeValue(element, "AXPosition", value);
    ax.copyAttributeValue(element, "AXSize", value);
    if (depth > 64 || ax.copyAttributeValue(element, "AXChildren", value) != AXError::success)
        return;
    if (const auto* children = axGet<std::vector<AXElement>>(value)) {
        for (const AXElement& child : *children)
            askFrames(ax, child, depth + 1);
    }
}

void layOutDemoDesktop()
{
    static std::shared_ptr<SimDesktop> desktop = SimDesktop::demo();
    desktop->install();
    AccessibilityPort& ax = Platform::accessibility();
    // Only the application in front, whose article the program reads: the floor takes none of
    // the layout the program could skip.
    if (auto front = Platform::workspace().frontmostApplication())
        askFrames(ax, ax.applicationElement(front->pid), 0);
}

} // namespace

int main(int argc, char** argv)
{
    const bool withDesktop = argc == 3 && std::string(argv[1]) == "--desktop";
    if (argc != 2 && !withDesktop) {
        std::fprintf(stderr, "usage: bench_startup_floor [--desktop] <server base URL>\n");
        return 2;
    }
    if (withDesktop)
        layOutDemoDesktop();
    auto session = HttpSession::makeDefault();
    HttpRequest request;
    request.url = std::string(argv[argc - 1]) + "/api/captioned_speech_partly";
    request.method = "POST";
    request.headers = {{"Content-Type", "application/json"}, {"User-Agent", "LorvantineDesktop/1.0"}};
    const std::string body = R"({"input":"Slow Reading in a Fast World","voice_code":"af_heart","language":"en","speed":1.5})";
    request.body.assign(body.begin(), body.end());
    std::promise<void> answered;
    session->dataTask(std::move(request), [&answered](HttpResult) { answered.set_value(); });
    answered.get_future().wait();
    return 0;
}
