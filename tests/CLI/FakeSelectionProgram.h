#pragma once

#include "Platform/EventMonitorPort.h"
#include "Platform/Geometry.h"

#include <memory>
#include <optional>
#include <string>

namespace lorvantine {

class Panel;

// A stand-in for the running program on the simulated desktop, made of toolkit panels in the test
// process (SimWindowHost registers it as the program's application): after a mouse drag that
// leaves a selection in the focused text it shows a 40 × 40 bubble below the pointer; a click on
// the bubble starts a "reading" — a click-through panel over the whole screen, a 420 × 60 mini
// player whose rightmost button closes both, and in the log file the selection reader's line and
// the audio player's line for the first segment. It reacts on the main queue, as the program does.
class FakeSelectionProgram {
public:
    explicit FakeSelectionProgram(std::string logPath);
    ~FakeSelectionProgram();
    FakeSelectionProgram(const FakeSelectionProgram&) = delete;
    FakeSelectionProgram& operator=(const FakeSelectionProgram&) = delete;

    // How this copy misbehaves.
    bool showsOverlay = true;
    bool writesAudioLine = true;
    bool writesLog = true; // false: its standard error goes somewhere else than the log file
    bool showsReadButtonOnSelection = false; // a 60 × 60 read button comes up in front with the bubble

    // Panels left on screen from before the run: the read button of a readable window, a stale
    // bubble, an overlay-sized window.
    void showReadButton(Point topLeft);
    void showStaleBubble(Point topLeft);
    void showStrayOverlay();

    int bubbleClicks = 0;
    int otherPanelClicks = 0; // read button and stale bubble
    int readingsClosed = 0;

private:
    void onInput(const MonitoredEvent& event);
    void showBubble(Point topLeft);
    void startReading();
    void closeReading();

    std::string m_logPath;
    std::optional<EventTapID> m_tap;
    bool m_dragged = false;
    std::shared_ptr<Panel> m_bubble, m_overlay, m_miniPlayer, m_readButton, m_lateReadButton, m_staleBubble, m_strayOverlay;
};

} // namespace lorvantine
