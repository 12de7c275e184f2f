#include "Player/MiniPlayer.h"

#include "Accessibility/AXReader.h"
#include "Accessibility/WindowFollowObserver.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Toolkit/Label.h"
#include "Platform/Toolkit/LocalizedStrings.h"
#include "Platform/Toolkit/Screen.h"
#include "Platform/Services.h"
#include "Platform/Toolkit/SymbolImage.h"
#include "Platform/WorkspacePort.h"
#include "Player/MiniPlayerButton.h"
#include "Player/MiniPlayerPanel.h"
#include "Player/MiniPlayerPopUp.h"
#include "Player/MiniPlayerView.h"
#include "Preferences/PreferencesModel.h"
#include "Support/Format.h"
#include "Support/Log.h"

#include <cmath>

namespace lorvantine {

namespace {

constexpr Duration windowFollowInterval = seconds(0.2);
constexpr Duration rectFollowInterval = seconds(0.1);
constexpr Duration focusCheckInterval = seconds(1.0);

constexpr double cardWidth = 264;
constexpr double cardHeight = 48;
constexpr double cardInset = 12;
// The card's right and bottom edges stand this far inside the window's.
constexpr double windowMargin = 16;
constexpr uint32_t panelCollectionBehavior = CollectionBehavior::canJoinAllSpaces | CollectionBehavior::stationary;

struct VoiceEntry {
    const char* code;
    const char* comment;
};

constexpr VoiceEntry chineseVoiceTable[] = {
    { "zf_001", "Voice Xiaoxuan" }, { "zf_017", "Voice Xiaoya" },  { "zf_027", "Voice Xiaorou" },
    { "zf_046", "Voice Xiaoyue" },  { "zf_079", "Voice Xiaoqing" }, { "zm_009", "Voice Yunze" },
    { "zm_029", "Voice Yunlang" },  { "zm_033", "Voice Yunchen" },  { "zm_095", "Voice Yunqian" },
    { "zm_098", "Voice Yunhan" },
};

constexpr VoiceEntry englishVoiceTable[] = {
    { "af_heart", "Voice Heart" }, { "af_bella", "Voice Bella" }, { "af_nova", "Voice Nova" },
    { "af_sky", "Voice Sky" },     { "bf_emma", "Voice Emma" },   { "am_adam", "Voice Adam" },
    { "am_eric", "Voice Eric" },   { "bm_george", "Voice George" },
};

template<size_t N> std::vector<MiniPlayer::Voice> voices(const VoiceEntry (&table)[N])
{
    std::vector<MiniPlayer::Voice> list;
    list.reserve(N);
    for (const VoiceEntry& entry : table) {
        const std::string key = std::string("voice.") + entry.code + ".label";
        list.push_back({ LocalizedStrings::string(key, entry.comment, ""), entry.code });
    }
    return list;
}

std::optional<SymbolImage> symbol(const std::string& name, double pointSize)
{
    auto image = SymbolImage::named(name);
    if (!image)
        return std::nullopt;
    return image->withConfiguration(pointSize, Font::Weight::medium);
}

} // namespace

struct MiniPlayer::Impl {
    std::shared_ptr<MiniPlayerPanel> panel;
    std::shared_ptr<MiniPlayerButton> playPauseBtn;
    std::shared_ptr<Label> paragraphLabel;
    std::shared_ptr<MiniPlayerPopUp> speedPopup;
    std::shared_ptr<MiniPlayerPopUp> voicePopup;
    std::unique_ptr<WindowFollowObserver> followObserver;
    std::shared_ptr<Timer> fallbackTimer;
    std::optional<AXElement> trackedWindow;
    bool visibleState = false;
    int totalParagraphs = 0;
    int currentParagraph = 0;
    bool hiddenByFocus = false;
    std::shared_ptr<Timer> focusCheckTimer;
    std::vector<Voice> activeVoices = zhVoices();
    bool isZhContent = true;
};

std::vector<MiniPlayer::Voice> MiniPlayer::zhVoices() { return voices(chineseVoiceTable); }
std::vector<MiniPlayer::Voice> MiniPlayer::enVoices() { return voices(englishVoiceTable); }

std::string MiniPlayer::speedTitle(float speed)
{
    return Format::floatDescription(speed) + "x";
}

std::string MiniPlayer::shortTitle(const std::string& label)
{
    const auto space = label.find(' ');
    return space == std::string::npos ? label : label.substr(0, space);
}

MiniPlayer::MiniPlayer() : m_impl(std::make_unique<Impl>()) { }

MiniPlayer::~MiniPlayer()
{
    // Timers hold the player weakly; ending them here keeps them from firing for nothing.
    if (m_impl->fallbackTimer)
        m_impl->fallbackTimer->invalidate();
    if (m_impl->focusCheckTimer)
        m_impl->focusCheckTimer->invalidate();
}

template<typename Work> void MiniPlayer::onMain(Work work)
{
    DispatchQueue::main().async([weak = weak_from_this(), work = std::move(work)]() mutable {
        if (auto self = weak.lock())
            work(*self);
    });
}

// --- Showing ---

void MiniPlayer::buildPanel()
{
    Impl& d = *m_impl;
    std::weak_ptr<MiniPlayer> weak = weak_from_this();

    auto panel = std::make_shared<MiniPlayerPanel>(Rect(0, 0, panelSize.width, panelSize.height), WindowStyle::nonactivatingPanel);
    panel->setOpaque(false);
    panel->setBackgroundColor(Color::clear());
    panel->setLevel(WindowLevel::floating);
    panel->setHasShadow(false);
    panel->setCollectionBehavior(panelCollectionBehavior);
    panel->setMovableByWindowBackground(false);
    panel->setHidesOnDeactivate(false);
    panel->setAppearance(Appearance::darkAqua);

    auto content = std::make_shared<View>(Rect(0, 0, panelSize.width, panelSize.height));
    auto card = std::make_shared<MiniPlayerView>(Rect(cardInset, cardInset, cardWidth, cardHeight));
    card->miniPlayer = weak;
    card->setBackgroundColor(Color::rgb(0.08, 0.08, 0.10, 0.96));
    card->setCornerRadius(24);
    card->setShadowColor(Color::black());
    card->setShadowOpacity(0.32);
    card->setShadowRadius(8);
    card->setShadowOffset(Size { 0, -2 });
    card->setBorderColor(Color::white(0.06));
    card->setBorderWidth(1);

    auto label = std::make_shared<Label>(Rect(14, 16, 36, 16), "0/0");
    label->setFont(Font::monospacedDigitSystem(10, Font::Weight::medium));
    label->setTextColor(Color::white(0.55));
    label->setAlignment(TextAlignment::left);

    auto makeSymbolButton = [](const std::string& name, double size, const Rect& frame) {
        auto button = std::make_shared<MiniPlayerButton>(frame);
        button->setImage(symbol(name, size));
        button->setImagePosition(ImagePosition::imageOnly);
        button->setBezelStyle(BezelStyle::inlineBezel);
        button->setBordered(false);
        button->setContentTintColor(Color::white());
        return button;
    };
    auto playPause = makeSymbolButton("play.fill", 14, Rect(54, 8, 32, 32));
    playPause->onAction = [weak] {
        if (auto self = weak.lock())
            self->handlePlayPause();
    };

    auto makePopUp = [](const Rect& frame, const std::vector<std::string>& titles) {
        auto popUp = std::make_shared<MiniPlayerPopUp>(frame);
        popUp->setPullsDown(false);
        popUp->addItems(titles);
        popUp->setFont(Font::system(11));
        popUp->setBordered(false);
        popUp->setAppearance(Appearance::darkAqua);
        popUp->setArrowPosition(PopUpButton::ArrowPosition::arrowAtBottom);
        return popUp;
    };
    std::vector<std::string> speedTitles;
    for (float speed : speeds)
        speedTitles.push_back(speedTitle(speed));
    auto speedPopup = makePopUp(Rect(92, 11, 54, 26), speedTitles);
    speedPopup->onAction = [weak] {
        if (auto self = weak.lock())
            self->handleSpeedChange();
    };
    std::vector<std::string> voiceTitles;
    for (const Voice& voice : d.activeVoices)
        voiceTitles.push_back(shortTitle(voice.label));
    auto voicePopup = makePopUp(Rect(152, 11, 70, 26), voiceTitles);
    voicePopup->onAction = [weak] {
        if (auto self = weak.lock())
            self->handleVoiceChange();
    };

    auto close = makeSymbolButton("xmark", 10, Rect(236, 12, 24, 24));
    close->onAction = [weak] {
        if (auto self = weak.lock())
            self->handleClose();
    };

    for (const std::shared_ptr<View>& control :
         std::initializer_list<std::shared_ptr<View>> { label, playPause, speedPopup, voicePopup, close })
        card->addSubview(control);
    content->addSubview(card);
    panel->setContentView(content);

    speedPopup->selectItem(speedTitle(PreferencesModel::speed(PreferencesModel::Key::defaultSpeed)));
    const std::string savedVoice = PreferencesModel::voice(PreferencesModel::Key::defaultVoice);
    int voiceIndex = -1;
    for (size_t i = 0; i < d.activeVoices.size(); ++i) {
        if (d.activeVoices[i].code == savedVoice) {
            voiceIndex = static_cast<int>(i);
            break;
        }
    }
    if (voiceIndex >= 0)
        voicePopup->selectItem(voiceIndex);

    d.panel = std::move(panel);
    d.playPauseBtn = std::move(playPause);
    d.paragraphLabel = std::move(label);
    d.speedPopup = std::move(speedPopup);
    d.voicePopup = std::move(voicePopup);
}

void MiniPlayer::positionPanel(const Rect& windowRect)
{
    Impl& d = *m_impl;
    if (!d.panel)
        return;
    auto window = Screen::fromTopLeft(windowRect);
    if (!window || !std::isfinite(window->minX()) || !std::isfinite(window->minY()) || !std::isfinite(window->width())
        || !std::isfinite(window->height()))
        return;
    double x = window->maxX() - cardWidth - windowMargin - cardInset;
    double y = window->minY() + windowMargin - cardInset;
    // A window hanging off the screen must not take the close button with it.
    if (auto screen = Screen::nearest(*window)) {
        const Rect& area = screen->visibleFrame.isEmpty() ? screen->frame : screen->visibleFrame;
        x = std::fmax(area.minX(), std::fmin(x, area.maxX() - panelSize.width));
        y = std::fmax(area.minY(), std::fmin(y, area.maxY() - panelSize.height));
    }
    d.panel->setFrameOrigin(Point { x, y });
}

void MiniPlayer::show(const AXElement& window)
{
    Impl& d = *m_impl;
    // A second show replaces the first: its panel, observer and timers must not live on beside the new ones.
    tearDown();
    d.trackedWindow = window;
    buildPanel();

    std::weak_ptr<MiniPlayer> weak = weak_from_this();
    d.followObserver = std::make_unique<WindowFollowObserver>(window, [weak](const Rect& rect) {
        if (auto self = weak.lock())
            self->positionPanel(rect);
    });
    d.followObserver->start();

    d.fallbackTimer = Timer::scheduled(windowFollowInterval, Timer::Repeats::yes, [weak](Timer&) {
        auto self = weak.lock();
        if (!self)
            return;
        WindowFollowObserver* observer = self->m_impl->followObserver.get();
        if (!observer)
            return;
        if (auto rect = AXReader::rect(observer->window())) {
            observer->setLastRect(rect);
            if (observer->onChange())
                observer->onChange()(*rect);
        }
    });

    if (auto rect = AXReader::rect(window))
        positionPanel(*rect);

    // Shown while another application is in front, the card waits for the focus check to bring
    // it up with the read application, as if that check had already run.
    d.hiddenByFocus = anotherApplicationInFront();
    if (!d.hiddenByFocus)
        d.panel->orderFrontRegardless();
    d.visibleState = true;
    startFocusCheck();
}

void MiniPlayer::show(const Rect& near, std::function<std::optional<Rect>()> getRect)
{
    Impl& d = *m_impl;
    Log::line("[MiniPlayer] 旧 show(near:getRect:) 已废弃，请改用 show(window:)");
    tearDown();
    buildPanel();
    positionPanel(near);
    d.hiddenByFocus = anotherApplicationInFront();
    if (!d.hiddenByFocus)
        d.panel->orderFrontRegardless();
    d.visibleState = true;

    std::weak_ptr<MiniPlayer> weak = weak_from_this();
    d.fallbackTimer = Timer::scheduled(rectFollowInterval, Timer::Repeats::yes, [weak, getRect = std::move(getRect)](Timer&) {
        auto self = weak.lock();
        if (!self || !getRect)
            return;
        if (auto rect = getRect())
            self->positionPanel(*rect);
    });
    startFocusCheck();
}

void MiniPlayer::startFocusCheck()
{
    // The card outlives the reading (its close button ends the owner's work): it keeps to the
    // read application for as long as it is shown, not only while the reading watches the window.
    m_impl->focusCheckTimer = Timer::scheduled(focusCheckInterval, Timer::Repeats::yes, [weak = weak_from_this()](Timer&) {
        if (auto self = weak.lock())
            self->focusCheck();
    });
}

void MiniPlayer::hide()
{
    tearDown();
    m_impl->trackedWindow.reset();
}

void MiniPlayer::tearDown()
{
    Impl& d = *m_impl;
    if (d.followObserver)
        d.followObserver->stop();
    d.followObserver.reset();
    for (auto* timer : { &d.fallbackTimer, &d.focusCheckTimer }) {
        if (*timer)
            (*timer)->invalidate();
        timer->reset();
    }
    if (d.panel)
        d.panel->orderOut();
    d.panel.reset();
    d.playPauseBtn.reset();
    d.paragraphLabel.reset();
    d.speedPopup.reset();
    d.voicePopup.reset();
}

bool MiniPlayer::anotherApplicationInFront() const
{
    // Without a known application there is nothing to keep to.
    if (!trackedBundleID || trackedBundleID->empty())
        return false;
    std::string front;
    if (auto application = Platform::workspace().frontmostApplication())
        front = application->bundleIdentifier.value_or("");
    return front != *trackedBundleID;
}

void MiniPlayer::focusCheck()
{
    Impl& d = *m_impl;
    if (!d.panel || !trackedBundleID || trackedBundleID->empty())
        return;
    const bool away = anotherApplicationInFront();
    if (away && !d.hiddenByFocus) {
        d.panel->orderOut();
        d.hiddenByFocus = true;
    } else if (!away && d.hiddenByFocus) {
        d.panel->orderFrontRegardless();
        d.hiddenByFocus = false;
    }
}

// --- State from the reading session ---

void MiniPlayer::setPlaying(bool playing)
{
    onMain([playing](MiniPlayer& self) {
        if (auto& button = self.m_impl->playPauseBtn)
            button->setImage(symbol(playing ? "pause.fill" : "play.fill", 16));
    });
}

void MiniPlayer::setProgress(int current, int total)
{
    onMain([current, total](MiniPlayer& self) {
        Impl& d = *self.m_impl;
        d.totalParagraphs = total;
        d.currentParagraph = current;
        if (d.paragraphLabel)
            d.paragraphLabel->setText(std::to_string(static_cast<long long>(current) + 1) + "/" + std::to_string(total));
    });
}

void MiniPlayer::configureForLanguage(bool isChinese)
{
    onMain([isChinese](MiniPlayer& self) {
        Impl& d = *self.m_impl;
        d.isZhContent = isChinese;
        d.activeVoices = isChinese ? zhVoices() : enVoices();
        if (d.voicePopup) {
            d.voicePopup->removeAllItems();
            for (const Voice& voice : d.activeVoices)
                d.voicePopup->addItem(shortTitle(voice.label));
            const std::string saved = PreferencesModel::voice(PreferencesModel::Key::voice(isChinese));
            for (size_t i = 0; i < d.activeVoices.size(); ++i) {
                if (d.activeVoices[i].code == saved) {
                    d.voicePopup->selectItem(static_cast<int>(i));
                    break;
                }
            }
        }
        const float speed = PreferencesModel::speed(PreferencesModel::Key::speed(isChinese));
        if (d.speedPopup)
            d.speedPopup->selectItem(speedTitle(speed));
    });
}

void MiniPlayer::setHidden(bool hidden)
{
    onMain([hidden](MiniPlayer& self) {
        Impl& d = *self.m_impl;
        if (!d.panel)
            return;
        if (hidden && d.visibleState) {
            d.panel->orderOut();
            d.visibleState = false;
        } else if (!hidden && !d.visibleState) {
            d.visibleState = true;
            // Brought up over another application the card would stay there: the focus check
            // takes it down once and brings it back with the read application.
            if (d.focusCheckTimer)
                d.hiddenByFocus = self.anotherApplicationInFront();
            if (!d.hiddenByFocus)
                d.panel->orderFrontRegardless();
        }
    });
}

// --- Controls ---

void MiniPlayer::handlePlayPause()
{
    if (onPlayPause) {
        auto callback = onPlayPause;
        callback();
    }
}

void MiniPlayer::handleClose()
{
    Log::line("[MiniPlayer] close tapped");
    if (onClose) {
        auto callback = onClose;
        callback();
    }
}

void MiniPlayer::handleSpeedChange()
{
    if (!m_impl->speedPopup)
        return;
    const int index = m_impl->speedPopup->indexOfSelectedItem();
    if (index < 0 || index >= static_cast<int>(speeds.size()) || !onSpeedChange)
        return;
    auto callback = onSpeedChange;
    callback(speeds[static_cast<size_t>(index)]);
}

void MiniPlayer::handleVoiceChange()
{
    if (!m_impl->voicePopup)
        return;
    const int index = m_impl->voicePopup->indexOfSelectedItem();
    if (index < 0 || index >= static_cast<int>(m_impl->activeVoices.size()) || !onVoiceChange)
        return;
    auto callback = onVoiceChange;
    const std::string code = m_impl->activeVoices[static_cast<size_t>(index)].code;
    callback(code);
}

// --- State ---

Panel* MiniPlayer::panel() const { return m_impl->panel.get(); }
bool MiniPlayer::visibleState() const { return m_impl->visibleState; }
bool MiniPlayer::hiddenByFocus() const { return m_impl->hiddenByFocus; }
int MiniPlayer::totalParagraphs() const { return m_impl->totalParagraphs; }
int MiniPlayer::currentParagraph() const { return m_impl->currentParagraph; }
bool MiniPlayer::isZhContent() const { return m_impl->isZhContent; }
const std::vector<MiniPlayer::Voice>& MiniPlayer::activeVoices() const { return m_impl->activeVoices; }

} // namespace lorvantine
