#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

class Panel;

// A modal alert: a message, an informative text and buttons. The first button is the default
// one, drawn as such and pressed by Return; a cancel button (one that dismisses the alert without
// acting, such as "Later") is pressed by Escape, and no other is. It floats above every window as
// a panel, shown without bringing the program to the front (the program would then try to read
// itself, and the person typing in another application keeps the keys); a click on it brings the
// program forward, as a click on a window does. Its buttons answer "AXPress" like any other
// button, so a person, a test or the control channel can press them.
//
// Main thread only. `runModal` runs the main queue in place (a nested loop) until a button,
// `abortModal` or the end of the run (`RunLoop::stop`, as quitting does) ends the alert; work
// posted to the main queue meanwhile runs inside it, and between two pieces of work the loop
// sleeps. While it runs the alert is the key window (one click on a button presses it, and the
// keys typed go to it while the program is in front: Return and Escape answer it then) and the
// modal one: the program's other windows take no clicks or keys, but the menu bar's (see
// `Window::setWorksWhenModal`). An alert run while another waits is the modal one until it ends;
// then the other waits on as before.
class Alert {
public:
    enum class Style { warning, informational, critical };

    // The platform's answers: the first button gives 1000, the second 1001, ...
    static constexpr int firstButtonReturn = 1000;
    static constexpr int abortResponse = -1001;

    Alert() = default;
    ~Alert();
    Alert(const Alert&) = delete;
    Alert& operator=(const Alert&) = delete;

    enum class ButtonRole { normal, cancel };

    Style alertStyle = Style::warning;
    std::string messageText;
    std::string informativeText;
    void addButton(std::string title, ButtonRole role = ButtonRole::normal);
    const std::vector<std::string>& buttons() const { return m_buttons; }

    // Shows the alert and waits for its answer; an alert without buttons gets an "OK" one.
    int runModal();
    // The alert on screen; null while none runs.
    Panel* panel() const { return m_panel.get(); }

    // Ends the innermost alert running with `abortResponse` (nothing when none runs).
    static void abortModal();
    // The innermost alert running, or null.
    static Alert* current();

    // Called on the main thread each time an alert has come on screen, inside its loop: a test
    // answers it here (pressing a button through accessibility) instead of a person.
    class ScopedResponder {
    public:
        explicit ScopedResponder(std::function<void(Alert&)> responder);
        ~ScopedResponder();
        ScopedResponder(const ScopedResponder&) = delete;
        ScopedResponder& operator=(const ScopedResponder&) = delete;

    private:
        std::function<void(Alert&)> m_previous;
    };

    // Width of the panel, in points, unless its buttons need more.
    static constexpr double panelWidth = 420;

private:
    void buildPanel();
    void end(int response);

    std::vector<std::string> m_buttons;
    std::vector<ButtonRole> m_roles;
    std::shared_ptr<Panel> m_panel;
    std::optional<int> m_response;
    Alert* m_outer = nullptr;
};

} // namespace lorvantine
