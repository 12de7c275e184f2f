#include "Reading/ReadingTestSupport.h"

#include "Network/TTSClient.h"
#include "Overlay/HighlightView.h"
#include "Platform/AudioOutputPort.h"
#include "Platform/Backends/InMemoryUserDefaults.h"
#include "Platform/Toolkit/Panel.h"
#include "Platform/Toolkit/TextMeasurer.h"
#include "Platform/Toolkit/Window.h"
#include "Platform/Toolkit/WindowHost.h"
#include "Platform/WindowServerPort.h"
#include "Player/MiniPlayer.h"
#include "Preferences/PreferencesModel.h"
#include "SimDesktop/Toolkit/PangoTextMeasurer.h"
#include "SimDesktop/Toolkit/SimWindowHost.h"

#include <cmath>
#include <cstdio>
#include <regex>
#include <thread>

namespace lorvantine::test {

void GatedAccessibility::hold(const AXElement& element)
{
    std::lock_guard guard(m_mutex);
    m_held = element;
    m_gate = std::make_shared<Semaphore>(0);
}

void GatedAccessibility::release()
{
    std::shared_ptr<Semaphore> gate;
    {
        std::lock_guard guard(m_mutex);
        m_held.reset();
        gate = std::move(m_gate);
    }
    if (gate)
        gate->signal();
}

AXError GatedAccessibility::copyAttributeValue(const AXElement& element, const std::string& attribute, AXValue& out)
{
    std::shared_ptr<Semaphore> gate;
    if (attribute == AXName::position && !RunLoop::isMainThread()) {
        std::lock_guard guard(m_mutex);
        if (m_held == element)
            gate = m_gate;
    }
    if (gate) {
        m_holding = true;
        gate->wait();
        m_holding = false;
    }
    return ForwardingAccessibility::copyAttributeValue(element, attribute, out);
}

SpeechServerProcess* ReadingTest::server = nullptr;
std::shared_ptr<TTSClient> ReadingTest::speechClient;

namespace {

// One stand-in server and one speech client for the whole binary.
class SpeechEnvironment final : public ::testing::Environment {
public:
    void SetUp() override
    {
        ReadingTest::server = new SpeechServerProcess();
        ReadingTest::speechClient = TTSClient::make("af_heart", { .timeZoneIdentifier = "Europe/Berlin",
                                                                  .usBaseURL = ReadingTest::server->baseURL(),
                                                                  .cnBaseURL = ReadingTest::server->baseURL() });
    }
    void TearDown() override
    {
        ReadingTest::speechClient.reset();
        delete ReadingTest::server;
        ReadingTest::server = nullptr;
    }
};

[[maybe_unused]] ::testing::Environment* const speechEnvironment = ::testing::AddGlobalTestEnvironment(new SpeechEnvironment);

} // namespace

void ReadingTest::SetUp()
{
    ASSERT_TRUE(speechServer && speechServer->isRunning());
    speechServer->reset();

    RunLoop::adoptCurrentThreadAsMain();
    clock = std::make_shared<ManualClock>();
    m_previousClock = Clock::install(clock);
    defaults = std::make_shared<InMemoryUserDefaults>();
    m_previousDefaults = PreferencesModel::installDefaults(defaults);
    AudioOutput::route(AudioOutput::Destination::clockPaced);

    desktop = makeDesktop();
    PlatformServices services = desktop->services();
    accessibility = std::make_shared<GatedAccessibility>(services.accessibility);
    services.accessibility = accessibility;
    m_services.emplace(std::move(services));
    host = SimWindowHost::create(desktop);
    m_previousHost = WindowHost::install(host);
    m_previousMeasurer = TextMeasurer::install(std::make_shared<PangoTextMeasurer>());

    ASSERT_TRUE(sessionSpeechClient);
    reader = ArticleReader::create(sessionSpeechClient);
    reader->onFinished = [this] { ++finishedCount; };
    reader->onFirstPlaying = [this] { ++firstPlayingCount; };
    reader->onError = [this](const ErrorValue& error) { errors.push_back(error); };
    RunLoop::runPending();
}

void ReadingTest::TearDown()
{
    if (HasFailure()) {
        for (const auto& line : log.lines())
            std::fprintf(stderr, "  | %s\n", line.c_str());
    }
    if (accessibility)
        accessibility->release();
    if (reader) {
        reader->stop();
        EXPECT_TRUE(Dispatch::waitUntilIdle());
        reader.reset();
    }
    if (miniPlayer)
        miniPlayer->hide();
    miniPlayer.reset();
    Dispatch::waitUntilIdle();
    if (host) {
        WindowHost::install(m_previousHost);
        TextMeasurer::install(m_previousMeasurer);
        host.reset();
    }
    m_services.reset();
    PreferencesModel::installDefaults(m_previousDefaults);
    Clock::install(m_previousClock);
}

std::shared_ptr<SimDesktop> ReadingTest::makeDesktop() { return SimDesktop::create(); }

ProcessID ReadingTest::addApplication(const std::string& bundleID, bool frontmost)
{
    SimApplication application;
    application.bundleIdentifier = bundleID;
    application.localizedName = bundleID.substr(bundleID.rfind('.') + 1);
    application.active = frontmost;
    return desktop->addApplication(application);
}

ReadingWindow ReadingTest::addWindow(ProcessID pid, const std::vector<std::string>& texts, Rect frame, bool isMain)
{
    ReadingWindow made;
    made.pid = pid;
    made.number = desktop->addWindow(pid, SimWindow { .title = "Document", .frame = frame, .main = isMain });
    made.window = desktop->windowElement(made.number);
    for (const auto& text : texts)
        made.elements.push_back(desktop->addElement(made.window, SimElement("AXStaticText", text)));
    return made;
}

std::vector<ArticleParagraph> ReadingTest::paragraphsOf(const ReadingWindow& window)
{
    std::vector<ArticleParagraph> paragraphs;
    for (size_t i = 0; i < window.elements.size(); ++i) {
        ArticleParagraph paragraph;
        paragraph.index = static_cast<int>(i);
        AXValue value;
        if (accessibility->copyAttributeValue(window.elements[i], AXName::value, value) == AXError::success)
            if (const auto* text = axGet<std::string>(value))
                paragraph.text = *text;
        paragraph.frame = desktop->frameOf(window.elements[i]).value_or(Rect());
        paragraph.role = "AXStaticText";
        paragraph.element = window.elements[i];
        paragraphs.push_back(std::move(paragraph));
    }
    return paragraphs;
}

void ReadingTest::startReading(const ReadingWindow& window, const std::string& bundleID)
{
    reader->startReading("Document", window.window, paragraphsOf(window), bundleID);
}

std::shared_ptr<MiniPlayer> ReadingTest::showMiniPlayer(const AXElement& window)
{
    miniPlayer = std::make_shared<MiniPlayer>();
    miniPlayer->show(window);
    reader->floatingPlayer = miniPlayer;
    return miniPlayer;
}

void ReadingTest::advance(double secondsToMove) { Dispatch::advance(*clock, seconds(secondsToMove)); }

bool ReadingTest::advanceUntil(const std::function<bool()>& done, double limit, double step)
{
    for (double moved = 0; !done() && moved < limit; moved += step)
        advance(step);
    return done();
}

bool ReadingTest::pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        RunLoop::runPending();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

std::vector<std::string> ReadingTest::plays() const
{
    static const std::regex pattern(R"(^\[Audio\] play para=(-?\d+) off=(\d+) )");
    std::vector<std::string> found;
    for (const auto& line : log.linesContaining("[Audio] play para=")) {
        std::smatch match;
        if (std::regex_search(line, match, pattern))
            found.push_back(match[1].str() + "/" + match[2].str());
    }
    return found;
}

std::vector<std::string> ReadingTest::requestedInputs()
{
    std::vector<std::string> inputs;
    for (const auto& request : server->speechRequests())
        inputs.push_back(request.input.value_or("<none>"));
    return inputs;
}

const HighlightView* ReadingTest::overlayOnScreen() const
{
    auto list = Platform::windowServer().copyWindowInfo(WindowListOption::onScreenOnly);
    for (const WindowInfo& info : list.value_or(std::vector<WindowInfo> {})) {
        if (info.kCGWindowOwnerPID != host->pid() || !info.kCGWindowNumber)
            continue;
        if (const Window* window = host->window(static_cast<uint32_t>(*info.kCGWindowNumber)))
            if (const auto* view = dynamic_cast<const HighlightView*>(window->contentView().get()))
                return view;
    }
    return nullptr;
}

bool ReadingTest::miniPlayerOnScreen() const
{
    return miniPlayer && miniPlayer->panel() && host->window(miniPlayer->panel()->windowNumber());
}

std::string ReadingTest::miniPlayerLabel()
{
    if (!miniPlayerOnScreen())
        return "<not on screen>";
    std::function<std::optional<std::string>(const AXElement&)> find = [&](const AXElement& element) -> std::optional<std::string> {
        AXValue children;
        if (accessibility->copyAttributeValue(element, AXName::children, children) != AXError::success)
            return std::nullopt;
        const auto* list = axGet<std::vector<AXElement>>(children);
        for (const AXElement& child : list ? *list : std::vector<AXElement> {}) {
            AXValue role, value;
            accessibility->copyAttributeValue(child, AXName::role, role);
            if (const auto* r = axGet<std::string>(role); r && *r == "AXStaticText") {
                accessibility->copyAttributeValue(child, AXName::value, value);
                if (const auto* text = axGet<std::string>(value))
                    return *text;
            }
            if (auto found = find(child))
                return found;
        }
        return std::nullopt;
    };
    return find(host->element(*miniPlayer->panel())).value_or("<no label>");
}

std::optional<SimRenderer::Picture> ReadingTest::renderScreen(std::optional<double> scale) const
{
    return SimRenderer::renderScreen(*desktop, 0, scale);
}

Rgb ReadingTest::colourAt(const SimRenderer::Picture& picture, Point topLeft)
{
    const int x = static_cast<int>(std::floor((topLeft.x - picture.area.minX()) * picture.scale));
    const int y = static_cast<int>(std::floor((topLeft.y - picture.area.minY()) * picture.scale));
    const uint32_t p = picture.image.pixel(x, y);
    return { static_cast<int>((p >> 16) & 0xFF), static_cast<int>((p >> 8) & 0xFF), static_cast<int>(p & 0xFF) };
}

double ReadingTest::warmth(const SimRenderer::Picture& picture, const Rect& area)
{
    const double step = 1 / picture.scale;
    double sum = 0;
    int count = 0;
    for (double y = area.minY() + step / 2; y < area.maxY(); y += step)
        for (double x = area.minX() + step / 2; x < area.maxX(); x += step, ++count) {
            const Rgb c = colourAt(picture, { x, y });
            sum += c.r - c.b;
        }
    return count ? sum / count : 0;
}

} // namespace lorvantine::test
