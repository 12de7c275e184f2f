#pragma once

#include "Core/PreparedParagraphs.h"
#include "Documents/ScreenTrail.h"
#include "Platform/Dispatch/CancellationToken.h"
#include "Platform/AXTypes.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

class ArticleReader;
class HotkeyTap;
class MiniPlayer;
class Popover;
class PopoverViewController;
class ReadButton;
class StatusItem;
class WindowMonitor;

// The menu-bar face of the application and the owner of the window-reading road: the status item
// with its popover, the Control+Shift+R hotkey, the window monitor wired to the read button, and
// the reading of the front window (from the popover, the hotkey or the read button) through the
// shared reading session with a mini player on the window.
//
// Threads: everything runs on the main thread except the search for the front window's document,
// which runs on a user-initiated global queue and hands its result back to the main queue. Every
// closure holds the controller weakly: once it is gone, work in flight does nothing. Only one start
// runs at a time; a request to start while one runs is dropped, and every way a start ends (a
// reading started, no document found, a stop) makes room for the next. A stop (the toggle) and the
// controller's end give the search up: it ends within a few elements of a long page.
//
// The application delegate makes one with `make` at launch and keeps it for the whole run.
class StatusBarController : public std::enable_shared_from_this<StatusBarController> {
public:
    // Installs the status item, the popover, the hotkey and the window monitor. `reader` is the
    // session the window road reads through (the shared one unless a test gives its own).
    static std::shared_ptr<StatusBarController> make(std::shared_ptr<ArticleReader> reader = nullptr);
    ~StatusBarController();
    StatusBarController(const StatusBarController&) = delete;
    StatusBarController& operator=(const StatusBarController&) = delete;

    // The status item's action: shows the popover below its button, or closes it.
    void togglePopover();

    // The popover's settings button, after the popover closed: the owner shows the preferences.
    std::function<void()> onOpenPreferences;
    // Right before the window road starts its reading: the owner lets go of whatever a selection
    // reading left armed (its watchdog, its bubble).
    std::function<void()> onWindowReadingWillStart;

    // A window reading this controller started is still what the session reads, or will read
    // again in a moment on the article that replaced it in the window. A reading stopped elsewhere
    // (Escape, a selection read over it) does not count: the next toggle starts.
    bool isReading() const;
    // A start is searching for the front window's document.
    bool isStarting() const { return m_starting; }

    // What the controller shows, for the delegate's diagnostics and for tests.
    StatusItem* statusItem() const { return m_statusItem.get(); }
    Popover& popover() const { return *m_popover; }
    WindowMonitor& windowMonitor() const { return *m_windowMonitor; }
    ReadButton& readButton() const { return *m_readButton; }
    MiniPlayer* miniPlayer() const { return m_miniPlayer.get(); }
    const std::optional<AXElement>& currentReadingWindow() const { return m_currentReadingWindow; }
    bool hasHotkey() const;

private:
    struct Document {
        std::string title;
        AXElement window;
        PreparedParagraphs paragraphs;
        // How far a screen-by-screen document (Word) was read at the start.
        ScreenTrail trail;
    };

    explicit StatusBarController(std::shared_ptr<ArticleReader> reader);
    void setUpStatusItem();
    void setUpPopover();
    void setUpHotkey();
    void setUpWindowMonitor();

    // The popover's read action and the hotkey: stop a reading that runs, else start one.
    void toggleReading();
    void startReadingCurrentWindow();
    static std::optional<Document> findDocument(const std::string& bundleID);
    void beginReading(const std::string& bundleID, Document document);
    void wireMiniPlayer(const std::shared_ptr<MiniPlayer>& miniPlayer);
    // Gives up the document search of a start still running, and its spinner.
    void cancelStart();
    void stopReading();

    std::shared_ptr<ArticleReader> m_reader;
    std::shared_ptr<StatusItem> m_statusItem;
    std::unique_ptr<Popover> m_popover;
    std::shared_ptr<PopoverViewController> m_popoverContent;
    std::shared_ptr<WindowMonitor> m_windowMonitor;
    std::shared_ptr<ReadButton> m_readButton;
    std::shared_ptr<HotkeyTap> m_hotkey;
    bool m_isReading = false;
    bool m_starting = false;
    CancellationToken m_startCancellation;
    std::shared_ptr<MiniPlayer> m_miniPlayer;
    std::optional<AXElement> m_currentReadingWindow;
    // The session's reading this controller started.
    int m_readingGeneration = 0;
};

} // namespace lorvantine
