#pragma once

#include "Platform/AXTypes.h"
#include "Platform/Geometry.h"

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

class Panel;

// The floating mini player of the window being read: the paragraph counter, play/pause, speed,
// voice and close. Created and owned by the application shell, one per reading; the reading
// session holds the current one and drives its state through the four operations below.
//
// `show`, `hide` and the controls run on the main thread. The state updates may be called from
// any thread. Each returns at once and does its work later on the main queue, holding the player
// weakly (so own it through a std::shared_ptr): when the player is gone by then, or the control
// it touches has not been built, nothing happens. The player decides nothing about playback:
// every control calls its owner back through an `on…` callback.
class MiniPlayer : public std::enable_shared_from_this<MiniPlayer> {
public:
    struct Voice {
        std::string label;
        std::string code;
        friend bool operator==(const Voice&, const Voice&) = default;
    };

    // The rates offered, in the order of the speed pop-up.
    static constexpr std::array<float, 6> speeds { 0.8f, 1.0f, 1.25f, 1.5f, 1.75f, 2.0f };
    // The voices offered for Chinese and for English text, labelled from the string tables.
    static std::vector<Voice> zhVoices();
    static std::vector<Voice> enVoices();
    // "1.25x", "1.0x": the shortest decimal text of the rate with a digit after the point.
    static std::string speedTitle(float speed);
    // The part of a voice label before its first space, or the whole label.
    static std::string shortTitle(const std::string& label);

    // The panel's size; the probe runners look for the card by it.
    static constexpr Size panelSize { 288, 72 };

    MiniPlayer();
    ~MiniPlayer();
    MiniPlayer(const MiniPlayer&) = delete;
    MiniPlayer& operator=(const MiniPlayer&) = delete;

    // Shows the card in the bottom-right corner of `window` (another application's), kept on the
    // visible frame of the window's screen, follows the window as it moves or is resized, and hides
    // the card while another application than `trackedBundleID` is in front.
    void show(const AXElement& window);
    // Shows the card for `near` (global, top-left origin) and places it again for what `getRect`
    // answers, ten times a second; hides it, as `show(window)` does, while another application
    // than `trackedBundleID` is in front. Kept for older callers; `show(window)` is the way.
    void show(const Rect& near, std::function<std::optional<Rect>()> getRect);
    // Stops following and takes the card down; the player can be shown again.
    void hide();

    // The play/pause button shows "pause.fill" while playing, "play.fill" otherwise.
    void setPlaying(bool playing);
    // `current` is the zero-based paragraph index; the label reads current + 1, "/", total.
    void setProgress(int current, int total);
    // Offers the Chinese or the English voices and selects the stored voice and speed of that language.
    void configureForLanguage(bool isChinese);
    // Takes the panel off the screen, or brings it to the front without activating the program;
    // while another application than the read one is in front, it comes back with the read one.
    void setHidden(bool hidden);

    std::function<void()> onPlayPause;
    std::function<void()> onClose;
    std::function<void(float)> onSpeedChange;
    std::function<void(const std::string&)> onVoiceChange;
    // Set by the owners; no control of the card fires them.
    std::function<void()> onPrevParagraph;
    std::function<void()> onNextParagraph;

    // The bundle identifier of the read application, set by the owner before `show`; without one
    // (or empty) the card stays up whatever application is in front.
    std::optional<std::string> trackedBundleID;
    // Set for Kindle by reading from the terminal; the placement does not use it.
    double bottomInset = 0;

    // State, for the owner's diagnostics and tests.
    Panel* panel() const;
    bool visibleState() const;
    bool hiddenByFocus() const;
    int totalParagraphs() const;
    int currentParagraph() const;
    bool isZhContent() const;
    const std::vector<Voice>& activeVoices() const;

private:
    struct Impl;
    void buildPanel();
    void positionPanel(const Rect& windowRect);
    bool anotherApplicationInFront() const;
    void startFocusCheck();
    void focusCheck();
    void tearDown();
    void handlePlayPause();
    void handleClose();
    void handleSpeedChange();
    void handleVoiceChange();
    template<typename Work> void onMain(Work work);

    std::unique_ptr<Impl> m_impl;
};

} // namespace lorvantine
