#pragma once

#include "Platform/Toolkit/WindowHost.h"
#include "SimDesktop/Served/SharedWindow.h"

#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace lorvantine {

class AccessibilityPort;
class RemoteDesktop;
class SimWindowHost;

// The program's windows on a shared (served) desktop. Everything the local SimWindowHost does
// stays as it is (views mirrored into the local accessibility model, drawings recorded, mouse
// delivered to views); this host forwards each call to it and publishes what changed to the
// desktop server ("tk.show", "tk.remove"), so that the program's application there shows the
// same windows: listed, hit tested, found by accessibility and painted at their levels. What
// reaches them there (mouse events, actions, "AXValue" sets) comes back pushed and goes to the
// local host as if posted locally.
//
// When the connection to the server is lost and made again, the application registers again
// (RemoteDesktop) and every window is shown there anew.
//
// Main thread only. Changes are gathered and published once per turn of the main queue, a
// window's picture only when its content changed, its elements only when they differ from the
// ones published last. A publish blocks the main thread for one round trip per changed window.
class SharedWindowHost final : public WindowHost, public std::enable_shared_from_this<SharedWindowHost> {
public:
    // Registers the program's application on the server (the local host's pid,
    // "com.lorvantine.desktop", "Lorvantine") and listens for its windows' input. None with the
    // reason in `error` when the server refuses.
    static std::shared_ptr<SharedWindowHost> create(std::shared_ptr<SimWindowHost> local, std::shared_ptr<RemoteDesktop> remote,
                                                    std::string& error);
    ~SharedWindowHost() override;

    uint32_t orderFront(Window& window) override;
    void orderOut(Window& window) override;
    void windowDidChange(Window& window) override;
    void contentDidChange(Window& window) override;
    void displayDidChange(Window& window, const std::vector<Rect>& areas) override;
    void keyCaptureDidChange(Window* window) override;

    // Publishes now what waits for the main queue's turn.
    void publishPending();
    // Publishes every window anew (a server met again after a reconnection knows none of them).
    void showAllAgain();

    SharedWindowHost(const SharedWindowHost&) = delete;
    SharedWindowHost& operator=(const SharedWindowHost&) = delete;

private:
    // Leaves room in a message for the rest of the window.
    static constexpr size_t maxPictureBytes = 768 * 1024;

    struct Pending {
        uint32_t number = 0;
        std::weak_ptr<Window> window; // expired or null: ordered out
        bool toFront = false;
        bool content = false;
    };
    struct Published {
        Size size;
        std::vector<SharedWindow::Element> elements;
    };

    SharedWindowHost(std::shared_ptr<SimWindowHost> local, std::shared_ptr<RemoteDesktop> remote);
    // The window's picture and elements go out with the next publication.
    void noteContentChanged(Window& window);
    Pending& pending(uint32_t number);
    void schedule();
    SharedWindow describe(Window& window, const Pending& pending);
    std::optional<std::vector<uint8_t>> picture(const Window& window, Rect& area) const;
    std::vector<SharedWindow::Element> elementsOf(const Window& window) const;
    void receive(const nlohmann::json& message);

    const std::shared_ptr<SimWindowHost> m_local;
    const std::shared_ptr<RemoteDesktop> m_remote;
    const std::shared_ptr<AccessibilityPort> m_localAccessibility;
    uint64_t m_channel = 0;
    // The server's primary screen is this much shorter than the local one: its top-left
    // locations sit that much higher.
    double m_heightDifference = 0;
    // Pixels per point of the pictures: the served primary screen's backing scale.
    double m_pictureScale = 1;
    std::map<const Window*, uint32_t> m_numbers;
    std::vector<Pending> m_pending;
    bool m_scheduled = false;
    std::map<uint32_t, Published> m_published;
};

} // namespace lorvantine
