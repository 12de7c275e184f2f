#include "App/AppDelegate.h"

#include "App/StatusBarController.h"
#include "App/UpdateChecker.h"
#include "Core/ArticleReader.h"
#include "Core/SelectionReader.h"
#include "Core/SelectionWatcher.h"
#include "Overlay/SelectionBubbleView.h"
#include "Platform/PermissionsPort.h"
#include "Platform/Services.h"
#include "Platform/Toolkit/Alert.h"
#include "Platform/Toolkit/LocalizedStrings.h"
#include "Platform/WorkspacePort.h"
#include "Preferences/PreferencesModel.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <algorithm>
#include <cmath>

namespace lorvantine {

std::shared_ptr<AppDelegate> AppDelegate::create(Parts parts)
{
    return std::shared_ptr<AppDelegate>(new AppDelegate(std::move(parts)));
}

// The bubble exists from the delegate's birth, before launch, as the platform's delegate holds it.
AppDelegate::AppDelegate(Parts parts) : m_parts(std::move(parts)), m_selectionBubble(std::make_shared<SelectionBubble>()) { }

AppDelegate::~AppDelegate() { m_hoverWatchdog.cancel(); }

ArticleReader& AppDelegate::reader() const { return m_parts.reader ? *m_parts.reader : *ArticleReader::shared(); }

double AppDelegate::watchdogSeconds(size_t characters) { return std::max(static_cast<double>(characters) / 20.0 + 10.0, 15.0); }

void AppDelegate::applicationDidFinishLaunching()
{
    PreferencesModel::defaults().set(PreferencesModel::Key::appSleepDisabled, true);
    // Automatic termination does not exist here: nothing ends an idle process behind our back.
    if (m_parts.makeStatusBarController)
        m_statusBarController = m_parts.makeStatusBarController();
    if (m_statusBarController) {
        // A window reading replaces whatever the selection road had under way; its watchdog
        // would otherwise stop the new reading when it fires, and a watcher left frozen would
        // offer no new selection and stop the window reading at the next plain click.
        std::weak_ptr<AppDelegate> weak = weak_from_this();
        m_statusBarController->onWindowReadingWillStart = [weak] {
            if (auto self = weak.lock()) {
                self->cancelWatchdog();
                self->m_selectionBubble->hide();
                if (self->m_selectionWatcher)
                    self->m_selectionWatcher->frozen = false;
            }
        };
    }
    if (!PreferencesModel::defaults().boolForKey(PreferencesModel::Key::hasCompletedOnboarding) && m_parts.showOnboarding)
        m_onboardingWindow = m_parts.showOnboarding();
    startSelectionBubble();
    std::weak_ptr<AppDelegate> weak = weak_from_this();
    DispatchQueue::main().asyncAfter(seconds(updateCheckDelay), [weak] {
        auto self = weak.lock();
        if (!self)
            return;
        if (self->m_parts.checkForUpdates)
            self->m_parts.checkForUpdates();
        else
            UpdateChecker::shared()->checkInBackground();
    });
}

void AppDelegate::startSelectionBubble()
{
    std::weak_ptr<AppDelegate> weak = weak_from_this();
    if (!Platform::permissions().requestInputMonitoring()) {
        DispatchQueue::main().asyncAfter(seconds(inputMonitoringRecheckDelay), [weak] {
            if (Platform::permissions().checkInputMonitoring() == InputMonitoringAccess::granted)
                return;
            if (auto self = weak.lock())
                self->showInputMonitoringAlert();
        });
    }

    auto watcher = std::make_shared<SelectionWatcher>();
    watcher->onSelection = [weak](const std::string& text, const AXElement& element, AXRange range, std::optional<Rect> rect, Point mouse) {
        auto self = weak.lock();
        if (!self)
            return;
        self->m_pendingSelection = PendingSelection { text, element, range, rect };
        self->m_pendingOCRSelection.reset();
        self->m_selectionBubble->show(mouse, SelectionBubble::Mode::play);
    };
    watcher->onOCRSelection = [weak](const ArticleParagraph& paragraph, const AXElement& window, const std::string& bundleID, Point mouse) {
        auto self = weak.lock();
        if (!self)
            return;
        self->m_pendingOCRSelection = PendingOCRSelection { paragraph, window, bundleID };
        self->m_pendingSelection.reset();
        self->m_selectionBubble->show(mouse, SelectionBubble::Mode::play);
    };
    watcher->onDismiss = [weak] {
        auto self = weak.lock();
        if (!self)
            return;
        self->m_selectionBubble->hide();
        self->m_pendingSelection.reset();
        self->m_pendingOCRSelection.reset();
    };
    std::shared_ptr<ArticleReader> reader = m_parts.reader ? m_parts.reader : ArticleReader::shared();
    watcher->onStopPlayback = [weak, reader] {
        // Escape ends whatever is read, even after the delegate is gone.
        reader->stop();
        auto self = weak.lock();
        if (!self)
            return;
        self->cancelWatchdog();
        if (self->m_selectionWatcher)
            self->m_selectionWatcher->frozen = false;
    };
    m_selectionBubble->onTap = [weak] {
        auto self = weak.lock();
        if (!self || self->m_selectionBubble->currentMode() == SelectionBubble::Mode::loading)
            return;
        if (self->m_pendingSelection)
            self->startHoverReading(*self->m_pendingSelection);
        else if (self->m_pendingOCRSelection)
            self->startHoverReadingOCR(*self->m_pendingOCRSelection);
    };
    watcher->start();
    m_selectionWatcher = std::move(watcher);
}

void AppDelegate::setBubbleMode(SelectionBubble::Mode mode)
{
    m_selectionBubble->setCurrentMode(mode);
    if (auto view = m_selectionBubble->container())
        view->setMode(mode);
}

void AppDelegate::cancelWatchdog()
{
    m_hoverWatchdog.cancel();
    m_hoverWatchdog = {};
}

void AppDelegate::beginHoverReading(Road road, size_t characters)
{
    const std::string tag = road == Road::accessibility ? "[Hover] " : "[Hover-OCR] ";
    setBubbleMode(SelectionBubble::Mode::loading);
    m_selectionWatcher->frozen = true;
    cancelWatchdog();

    const double timeout = watchdogSeconds(characters);
    std::weak_ptr<AppDelegate> weak = weak_from_this();
    m_hoverWatchdog = DispatchQueue::main().asyncAfter(seconds(timeout), [weak, tag, timeout] {
        auto self = weak.lock();
        if (!self)
            return;
        Log::line(tag + std::to_string(static_cast<long long>(std::trunc(timeout))) + "s 未进入 playing → .error");
        self->m_hoverWatchdog = {};
        self->reader().stop();
        self->setBubbleMode(SelectionBubble::Mode::error);
        // A reading that never began must not keep new selections from being offered.
        self->m_selectionWatcher->frozen = false;
    });

    ArticleReader& session = reader();
    session.onFirstPlaying = [weak] {
        auto self = weak.lock();
        if (!self)
            return;
        self->cancelWatchdog();
        self->m_selectionBubble->hide();
        self->m_selectionWatcher->frozen = false;
        self->m_selectionWatcher->lastText.clear();
        self->m_selectionWatcher->lastRangeLocation = -1;
        self->m_selectionWatcher->lastRangeLength = 0;
    };
    session.onError = [weak, tag](const ErrorValue& error) {
        auto self = weak.lock();
        if (!self)
            return;
        Log::line(tag + "TTS 最终失败 → .error: " + error.description);
        self->cancelWatchdog();
        self->reader().stop();
        self->setBubbleMode(SelectionBubble::Mode::error);
        // As after the watchdog: the error bubble stays for a retry, and a new selection is offered.
        self->m_selectionWatcher->frozen = false;
    };
    session.stop();
}

void AppDelegate::startHoverReading(const PendingSelection& selection)
{
    // Copied: the common steps may run callbacks that change the pending record.
    const PendingSelection pending = selection;
    beginHoverReading(Road::accessibility, Text::characterCount(pending.text));
    SelectionReader::start(pending.text, pending.element, pending.range, pending.rect, reader());
}

void AppDelegate::startHoverReadingOCR(const PendingOCRSelection& ocr)
{
    const PendingOCRSelection pending = ocr;
    const size_t count = Text::characterCount(pending.paragraph.text);
    beginHoverReading(Road::recognition, count);
    std::string title = Text::trimmingWhitespacesAndNewlines(Text::characterPrefix(pending.paragraph.text, 40));
    if (count > 40)
        title += "…";
    Log::line("[Hover-OCR] ▶ " + std::to_string(count) + " 字符, bundle=" + pending.bundleID);
    if (!reader().isReading())
        reader().startReading(title, pending.window, { pending.paragraph }, pending.bundleID);
}

void AppDelegate::showInputMonitoringAlert()
{
    Alert alert;
    alert.alertStyle = Alert::Style::warning;
    alert.messageText = LocalizedStrings::string("alert.input_monitoring.title", "Input Monitoring TCC alert title");
    alert.informativeText = LocalizedStrings::string("alert.input_monitoring.body", "Input Monitoring TCC alert body");
    alert.addButton(LocalizedStrings::string("alert.button.open_settings", "Button to open System Settings"));
    alert.addButton(LocalizedStrings::string("alert.button.later", "Button to dismiss alert"), Alert::ButtonRole::cancel);
    if (alert.runModal() == Alert::firstButtonReturn)
        Platform::workspace().openURL(inputMonitoringPaneURL);
}

} // namespace lorvantine
