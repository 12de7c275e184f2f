#include "FuzzCheck.h"
#include "Platform/Backends/DesktopFrame.h"
#include "Platform/Dispatch/Dispatch.h"
#include "SimDesktop/Served/DesktopSession.h"
#include "SimDesktop/SimDesktop.h"
#include "Support/Log.h"

#include <cstdint>
#include <memory>
#include <string>

// Whatever a client sends as a frame, the server's reading of it never throws or crashes: a
// frame that does not read is refused with a reason, and every request read is answered with its
// id and a result, or refused with an error that closes the connection. Window captures (which
// write where the client says) and scripts (whose delays wait on the clock) are left out.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace lorvantine;
    static Log::Capture quiet;
    static const auto desktop = [] {
        RunLoop::adoptCurrentThreadAsMain();
        (void)fuzz::manualClock();
        return SimDesktop::demo();
    }();
    auto read = DesktopFrame::decode(std::string(reinterpret_cast<const char*>(data), size));
    if (read.kind != DesktopFrame::Read::Kind::message) {
        fuzz::check((read.kind == DesktopFrame::Read::Kind::malformed || read.kind == DesktopFrame::Read::Kind::refused)
                        && !read.reason.empty(),
                    "a refused frame says why");
        return 0;
    }
    if (const auto* op = read.message.contains("op") ? read.message["op"].get_ptr<const std::string*>() : nullptr;
        op && (*op == "cap.window" || *op == "wk.script"))
        return 0;
    auto session = std::make_shared<DesktopSession>(desktop, desktop->services(), [](const nlohmann::json&) { return true; });
    // The client's own windows are those of the application it registered.
    if (const auto* op = read.message.contains("op") ? read.message["op"].get_ptr<const std::string*>() : nullptr;
        op && op->starts_with("tk."))
        session->answer({ { "id", 0 }, { "op", "app.register" }, { "app", { { "pid", 4200 }, { "bundleID", "com.example.Fuzz" } } } });
    auto answer = session->answer(read.message);
    const bool refused = answer.message.contains("error");
    fuzz::check(refused == answer.close, "exactly the refused requests close the connection");
    fuzz::check(refused || (answer.message.contains("id") && answer.message.contains("ok")), "an answer carries its id");
    session->end();
    RunLoop::runPending();
    quiet.clear();
    return 0;
}
