#pragma once

#include "Accessibility/ArticleParagraph.h"
#include "Platform/AXTypes.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Geometry.h"

#include <functional>
#include <optional>
#include <set>
#include <string>

namespace lorvantine {

// The copy-and-recognise road for the editors whose selection accessibility does not expose:
// from the last gesture's box on the front window, it copies the selection with a synthetic
// Command+C, recognises the words in the box and aligns the copied text to them, then delivers
// one paragraph of role "Selection" through `onOCRSelection`. Every refusal writes at most one
// line and ends the attempt without telling anyone.
//
// Main thread: `dispatch`, `cancel` and the callback. The copy blocks the main thread for up to
// a quarter of a second; recognition and alignment run on a user-initiated global queue.
// One attempt is in flight at a time. Work in flight is cancelled by its generation: `cancel`
// (a newer gesture, a dismissal), the 10-second time-out of a capture that never returns, a front
// application that changed meanwhile — each drops the late result.
class SelectionOCRDispatcher {
public:
    // The one dispatcher of the run, never replaced.
    static SelectionOCRDispatcher& shared();
    SelectionOCRDispatcher() = default;
    SelectionOCRDispatcher(const SelectionOCRDispatcher&) = delete;
    SelectionOCRDispatcher& operator=(const SelectionOCRDispatcher&) = delete;

    // The editors that take this road.
    static inline const std::set<std::string> OCR_WHITELIST {
        "com.microsoft.VSCode", "com.todesktop.230313mzl4w4u92", "com.exafunction.windsurf", "notion.id", "md.obsidian",
    };

    // `mouseLocation` in toolkit coordinates, handed on to the callback unchanged. Returns after
    // the copy, before recognition.
    void dispatch(const std::string& bundleID, Point mouseLocation);
    // Drops the attempt in flight, if any: its result will not be delivered.
    void cancel();
    bool isRunning() const { return m_isRunning; }

    // Set by the selection watcher before every dispatch.
    std::function<void(const ArticleParagraph&, const AXElement& window, const std::string& bundleID, Point mouse)> onOCRSelection;

    static constexpr double horizontalPadding = 100;
    static constexpr double verticalPadding = 8;
    static constexpr double clipboardTimeout = 0.25;
    static constexpr double recognitionTimeout = 10;
    static constexpr const char* debugOverlayPath = "/tmp/lorvantine-selection-ocr.png";

private:
    struct Outcome;
    void finish(uint64_t generation, const Outcome& outcome);

    bool m_isRunning = false;
    uint64_t m_generation = 0;
    WorkItem m_timeout;
};

} // namespace lorvantine
