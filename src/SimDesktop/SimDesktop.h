#pragma once

#include "Platform/Services.h"
#include "SimDesktop/Ports/SimCaptureTool.h"
#include "SimDesktop/Rendering/SimExternalLayer.h"
#include "SimDesktop/Model/SimFixture.h"
#include "SimDesktop/Model/SimModel.h"
#include "SimDesktop/Rendering/SimRecognitionTruth.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <string>
#include <vector>

namespace lorvantine {

// One simulated macOS session behind the desktop ports. Thread-safe: every call takes the
// one desktop lock. Notifications and activation callbacks that changes cause are delivered on
// the main queue after the lock is released.
//
// Tests build a desktop (from a fixture or with the builder calls), install its ports, drive the
// program, change the desktop as a user would (`moveWindow`, `closeWindow`, `setFrontmost`...)
// and read the journal of what the program did.
class SimDesktop : public std::enable_shared_from_this<SimDesktop> {
public:
    static std::shared_ptr<SimDesktop> create(const SimFixture& fixture = {});
    // The built-in demo desktop: Safari showing an article, and TextEdit.
    static std::shared_ptr<SimDesktop> demo();
    // None with a message in `error` (naming the file, the JSON path and the fault) when the
    // file cannot be read or is not a valid fixture.
    static std::shared_ptr<SimDesktop> load(const std::string& path, std::string& error);
    // The fixture named by LORVANTINE_DESKTOP, or the demo desktop when it is unset or empty.
    static std::shared_ptr<SimDesktop> fromEnvironment(std::string& error);

    // Ports over this desktop; each keeps the desktop alive. The text recogniser is the one
    // LORVANTINE_RECOGNIZER chooses (see SimRecognitionTruth::makeRecognizer).
    PlatformServices services();
    // Installs `services()` and returns the services installed before.
    PlatformServices install();

    // --- Building ---
    ProcessID addApplication(const SimApplication& application);
    // 0 when `pid` runs no application.
    uint32_t addWindow(ProcessID pid, const SimWindow& window);
    // The new element; the null element when `parent` is not alive.
    AXElement addElement(const AXElement& parent, const SimElement& element);
    void removeElement(const AXElement& element);
    void setAttribute(const AXElement& element, const std::string& attribute, AXValue value);
    void removeAttribute(const AXElement& element, const std::string& attribute);
    void setError(const AXElement& element, const std::string& name, AXError error);
    void clearError(const AXElement& element, const std::string& name);
    void setText(const AXElement& element, const std::string& text);
    void setScroll(const AXElement& element, Point scroll);
    void addBehaviour(std::shared_ptr<SimBehaviour> behaviour);
    // Starts an installed application (without waiting for its launch delay) with its behaviours;
    // with the model locked, from `withModel`. Answers its pid.
    ProcessID launch(SimModel& model, const SimInstalledApplication& installed);

    // --- Looking things up ---
    // The element a fixture or builder called `name`; the null element when there is none.
    AXElement element(const std::string& name);
    AXElement applicationElement(ProcessID pid) const { return AXElement { pid, 0 }; }
    AXElement windowElement(uint32_t number);
    std::optional<ProcessID> pidOf(const std::string& bundleIdentifier);
    std::vector<uint32_t> windowNumbers(ProcessID pid);
    std::optional<Rect> windowFrame(uint32_t number);
    // Global, top-left origin.
    std::optional<Rect> frameOf(const AXElement& element);

    // --- What a user does ---
    bool moveWindow(uint32_t number, Point origin);
    bool resizeWindow(uint32_t number, Size size);
    bool minimizeWindow(uint32_t number, bool minimized = true);
    bool setWindowTitle(uint32_t number, const std::string& title);
    bool raiseWindow(uint32_t number);
    bool closeWindow(uint32_t number);
    bool setFrontmost(ProcessID pid);
    bool terminateApplication(ProcessID pid);
    void setMouseLocation(Point topLeft);

    // --- Permissions ---
    void setTrusted(bool trusted);
    void setInputMonitoring(InputMonitoringAccess access);
    void setLoginItemStatus(LoginItemStatus status);
    // Whether registering and unregistering the login item are refused (the status stays).
    void setLoginItemChangesFail(bool fail);
    // Whether listen-only event taps can be created (they also need Input Monitoring).
    void setEventTapsAvailable(bool available);
    // The system switches every enabled tap off, telling each owner on the main queue.
    void disableEventTaps(EventTapDisabledReason reason);

    // --- Pixels (SimRenderer draws them) ---
    // Adds a layer of the program's own panels to every picture of the whole screen; returns
    // the id that removes it.
    uint64_t addExternalLayer(SimExternalLayer layer);
    void removeExternalLayer(uint64_t id);
    // In the order they were added.
    std::vector<SimExternalLayer> externalLayers() const;
    void setCaptureTool(SimCaptureTool tool);
    SimCaptureTool captureTool() const;
    // The text of the pictures drawn lately, which the desktop-truth recogniser answers from.
    SimRecognitionTruth& recognitionTruth() { return *m_truth; }

    // --- Journal ---
    std::vector<SimJournalEntry> journal() const;
    void clearJournal();

    // Runs `f(model)` with the desktop locked, then delivers what the change posted. For the
    // ports and behaviours; `f` must not call back into this desktop's public API.
    template<typename F> auto withModel(F&& f)
    {
        std::unique_lock lock(m_mutex);
        if constexpr (std::is_void_v<decltype(f(m_model))>) {
            f(m_model);
            flush(lock);
        } else {
            auto result = f(m_model);
            flush(lock);
            return result;
        }
    }

    SimDesktop(const SimDesktop&) = delete;
    SimDesktop& operator=(const SimDesktop&) = delete;

private:
    SimDesktop() = default;
    void addPaging(SimModel& model, ProcessID pid, const SimPaging& paging);
    void flush(std::unique_lock<std::mutex>& lock);
    void deliverNotification(const SimModel::PendingNotification& pending);
    void deliverActivation(uint64_t listener, const RunningApplication& application);
    void addBehaviours(SimModel& model, ProcessID pid, const SimBehaviourOptions& options);
    // What an application with a catalogue entry does: edit its documents, follow its links.
    void addInstalledBehaviours(SimModel& model, ProcessID pid, const std::string& bundleID);
    // A fixture's or a launched application: its behaviours, and what its catalogue entry gives it
    // when it has one installed.
    ProcessID addRunningApplication(SimModel& model, const SimApplication& application);
    void deliverEvent(const SimModel::PendingEvent& pending);
    void deliverTapDisabled(uint64_t tap, EventTapDisabledReason reason);

    mutable std::mutex m_mutex;
    SimModel m_model;
    // Guarded by m_mutex.
    std::map<uint64_t, SimExternalLayer> m_layers;
    uint64_t m_nextLayer = 1;
    SimCaptureTool m_captureTool = SimCaptureTool::available;
    const std::shared_ptr<SimRecognitionTruth> m_truth = std::make_shared<SimRecognitionTruth>();
};

} // namespace lorvantine
