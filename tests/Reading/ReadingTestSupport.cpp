#include "Reading/ReadingTestSupport.h"

#include "Network/TTSClient.h"
#include "Platform/AudioOutputPort.h"
#include "Platform/Backends/InMemoryUserDefaults.h"
#include "Preferences/PreferencesModel.h"

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
    return m_inner->copyAttributeValue(element, attribute, out);
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
    ASSERT_TRUE(server && server->isRunning());
    server->reset();
    PanelJournal::clear();

    RunLoop::adoptCurrentThreadAsMain();
    clock = std::make_shared<ManualClock>();
    m_previousClock = Clock::install(clock);
    defaults = std::make_shared<InMemoryUserDefaults>();
    m_previousDefaults = PreferencesModel::installDefaults(defaults);
    AudioOutput::route(AudioOutput::Destination::clockPaced);

    desktop = SimDesktop::create();
    PlatformServices services = desktop->services();
    accessibility = std::make_shared<GatedAccessibility>(services.accessibility);
    services.accessibility = accessibility;
    m_services.emplace(std::move(services));

    ASSERT_TRUE(speechClient);
    reader = ArticleReader::create(speechClient);
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
    accessibility->release();
    if (reader) {
        reader->stop();
        EXPECT_TRUE(Dispatch::waitUntilIdle());
        reader.reset();
    }
    Dispatch::waitUntilIdle();
    m_services.reset();
    PreferencesModel::installDefaults(m_previousDefaults);
    Clock::install(m_previousClock);
}

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

} // namespace lorvantine::test
