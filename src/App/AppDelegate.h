#pragma once

#include "Accessibility/ArticleParagraph.h"
#include "Platform/AXTypes.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Geometry.h"
#include "Overlay/SelectionBubble.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace lorvantine {

class ArticleReader;
class OnboardingWindow;
class SelectionWatcher;
class StatusBarController;

// The application's delegate: runs the start-up sequence once the application has launched, then
// owns for the whole run the status-bar controller, the onboarding window when it was shown, the
// selection watcher and the bubble, and glues the selection road to the shared reading session:
// it keeps the pending selection, shows the bubble beside it, reads it when the bubble is clicked,
// watches that playback really begins, and stops playback when the user asks.
//
// Main thread only: start-up, the watcher's callbacks, the bubble's tap, the session's
// `onFirstPlaying`/`onError`, the watchdog and the delayed checks all run on the main queue.
// Owned through a std::shared_ptr; every closure handed out holds it weakly. Work in flight: the
// watchdog is cancelled by the first audio, an error, a stop or the next tap; the session's own
// work by its `stop()`.
class AppDelegate : public std::enable_shared_from_this<AppDelegate> {
public:
    // What the application mode brings; any left empty is skipped (the controller and the
    // onboarding window are built elsewhere).
    struct Parts {
        // Builds the status item, popover, window monitor, read button and hotkey.
        std::function<std::shared_ptr<StatusBarController>()> makeStatusBarController;
        // Builds the onboarding window and shows it.
        std::function<std::shared_ptr<OnboardingWindow>()> showOnboarding;
        // Once, 5 seconds after launch; empty: the shared update checker's check.
        std::function<void()> checkForUpdates;
        // The reading session; none: the shared one.
        std::shared_ptr<ArticleReader> reader;
    };

    struct PendingSelection {
        std::string text;
        AXElement element;
        AXRange range;
        std::optional<Rect> rect;
    };
    struct PendingOCRSelection {
        ArticleParagraph paragraph;
        AXElement window;
        std::string bundleID;
    };

    static std::shared_ptr<AppDelegate> create(Parts parts = {});
    ~AppDelegate();
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    void applicationDidFinishLaunching();

    const std::shared_ptr<StatusBarController>& statusBarController() const { return m_statusBarController; }
    const std::shared_ptr<OnboardingWindow>& onboardingWindow() const { return m_onboardingWindow; }
    const std::shared_ptr<SelectionWatcher>& selectionWatcher() const { return m_selectionWatcher; }
    SelectionBubble& selectionBubble() const { return *m_selectionBubble; }
    const std::optional<PendingSelection>& pendingSelection() const { return m_pendingSelection; }
    const std::optional<PendingOCRSelection>& pendingOCRSelection() const { return m_pendingOCRSelection; }
    bool isWatchdogArmed() const { return static_cast<bool>(m_hoverWatchdog); }

    // How long playback may take to begin for a text of `characters` Characters, in seconds:
    // 15 up to 100 Characters, one more per 20 above.
    static double watchdogSeconds(size_t characters);
    // The delay before the update check and the Input Monitoring recheck.
    static constexpr double updateCheckDelay = 5.0;
    static constexpr double inputMonitoringRecheckDelay = 1.5;
    static constexpr const char* inputMonitoringPaneURL
        = "x-apple.systempreferences:com.apple.preference.security?Privacy_ListenEvent";

private:
    explicit AppDelegate(Parts parts);
    ArticleReader& reader() const;
    void startSelectionBubble();
    void showInputMonitoringAlert();
    enum class Road { accessibility, recognition };
    void beginHoverReading(Road road, size_t characters);
    void startHoverReading(const PendingSelection& selection);
    void startHoverReadingOCR(const PendingOCRSelection& ocr);
    void setBubbleMode(SelectionBubble::Mode mode);
    void cancelWatchdog();

    Parts m_parts;
    std::shared_ptr<StatusBarController> m_statusBarController;
    std::shared_ptr<OnboardingWindow> m_onboardingWindow;
    std::shared_ptr<SelectionWatcher> m_selectionWatcher;
    std::shared_ptr<SelectionBubble> m_selectionBubble;
    std::optional<PendingSelection> m_pendingSelection;
    std::optional<PendingOCRSelection> m_pendingOCRSelection;
    WorkItem m_hoverWatchdog;
};

} // namespace lorvantine
