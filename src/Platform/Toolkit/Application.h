#pragma once

#include "Platform/AXTypes.h"

#include <functional>

namespace lorvantine {

enum class ActivationPolicy { regular, accessory, prohibited };

// The program's application object. Main thread only.
class Application {
public:
    // How the desktop knows the program's own application.
    static constexpr const char* bundleIdentifier = "com.lorvantine.desktop";
    static constexpr const char* localizedName = "Lorvantine";

    static Application& shared();
    // This process.
    static ProcessID processIdentifier();

    ActivationPolicy activationPolicy() const { return m_policy; }
    void setActivationPolicy(ActivationPolicy policy) { m_policy = policy; }

    // Runs the main run loop until `terminate`.
    void run();
    // Calls `onWillTerminate`, then ends `run`.
    void terminate();
    std::function<void()> onWillTerminate;

    // Whether the program is the frontmost application (false without a workspace).
    bool isActive() const;
    // Brings the program to the front.
    void activate();
    // Gives the front, when the program has it, to the application of the front-most window of
    // the normal level that is not the program's (nothing when there is none).
    void deactivate();

private:
    Application() = default;
    ActivationPolicy m_policy = ActivationPolicy::regular;
};

} // namespace lorvantine
