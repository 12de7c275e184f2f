#pragma once

#include "Platform/AXTypes.h"
#include "SimDesktop/Served/SharedWindow.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <vector>

namespace lorvantine {

class SimDesktop;
class SimToolkitRouter;
class SimWindowPictures;

// The windows a client of the desktop server shows as windows of the application it registered
// ("tk.show", "tk.remove"): each is a model window drawn externally (listed, hit tested, found by
// accessibility with the client's elements mirrored below it) whose picture the desktop paints at
// its level. Once the client listens ("tk.listen"), the mouse events that reach its windows and
// the actions and "AXValue" sets performed on its elements are pushed to it, in its own window
// numbers and element ids:
//   { "mouse": { "window": number or null, "event": event } }
//   { "action": { "element": id, "name": action } }
//   { "setValue": { "element": id, "value": value } }
//
// Threads: `show`, `remove` and `listen` from the connection's thread; pushes go out on the main
// queue. Destruction takes every window, layer and route away.
class ClientWindows {
public:
    using Push = std::function<void(nlohmann::json)>;

    ClientWindows(std::shared_ptr<SimDesktop> desktop, ProcessID pid);
    ~ClientWindows();

    // False when the application is gone or the picture is not a PNG of the window's size.
    bool show(const SharedWindow& window);
    // False when the client shows no window of that number.
    bool remove(uint32_t number);
    // Sends what reaches the windows to `push` from now on. False when already listening.
    bool listen(Push push);

    ClientWindows(const ClientWindows&) = delete;
    ClientWindows& operator=(const ClientWindows&) = delete;

private:
    struct Shown;
    struct Routes;

    void syncElements(class SimModel& model, Shown& shown, std::vector<SharedWindow::Element> elements);
    void publishPictures();

    const std::shared_ptr<SimDesktop> m_desktop;
    const ProcessID m_pid;
    std::unique_ptr<SimWindowPictures> m_pictures;
    std::shared_ptr<Routes> m_routes;
    std::shared_ptr<SimToolkitRouter> m_router;
    std::mutex m_lock;
    // Guarded by m_lock; back to front.
    std::vector<std::unique_ptr<Shown>> m_shown;
};

} // namespace lorvantine
