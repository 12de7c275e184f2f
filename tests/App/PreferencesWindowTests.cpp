#include "OwnWindowsTest.h"

#include "App/ApplicationShell.h"
#include "App/PreferencesWindow.h"
#include "Platform/Backends/SettingsFileStore.h"
#include "Platform/Toolkit/Alert.h"
#include "Platform/Toolkit/Button.h"
#include "Platform/Toolkit/CheckBox.h"
#include "Platform/Toolkit/Label.h"
#include "Platform/Toolkit/LocalizedStrings.h"
#include "Platform/Toolkit/PopUpButton.h"
#include "Platform/Toolkit/Screen.h"
#include "Platform/Toolkit/Slider.h"
#include "Platform/Toolkit/TextField.h"
#include "Platform/WorkspacePort.h"
#include "Support/Text.h"
#include "TestSupport/ScratchDirectory.h"

namespace lorvantine {
namespace {

namespace Key = PreferencesModel::Key;

class PreferencesWindowTest : public OwnWindowsTest {
protected:
    void SetUp() override
    {
        OwnWindowsTest::SetUp();
        LocalizedStrings::setLanguage(LocalizedStrings::Language::english);
        prefs = std::make_unique<PreferencesWindow>();
        prefs->onResetOnboardingAlert = [this](const std::string& title, const std::string& body) {
            alerts.push_back({ title, body, defaults->object(Key::hasCompletedOnboarding).has_value() });
        };
    }
    void TearDown() override
    {
        prefs.reset();
        LocalizedStrings::resetLanguage();
        OwnWindowsTest::TearDown();
    }

    void showPreferences()
    {
        prefs->show();
        RunLoop::runPending();
    }
    AXElement only(const std::string& role, size_t index = 0) { return controls(role).at(index); }
    // Typed into the program in front, a key a Character, as a person's hand types it.
    void typeText(const std::string& text)
    {
        for (const std::string& character : Text::characters(text))
            key(0, 0, character);
    }
    std::vector<std::string> storedKeys()
    {
        std::vector<std::string> keys;
        for (const char* key : { Key::defaultSpeed, Key::defaultSpeedZh, Key::defaultSpeedEn, Key::defaultVoice,
                                 Key::defaultVoiceZh, Key::defaultVoiceEn, Key::highlightOpacity, Key::subHighlightOpacity,
                                 Key::ttsServerURL, Key::hasCompletedOnboarding })
            if (defaults->object(key))
                keys.push_back(key);
        return keys;
    }

    struct Alert {
        std::string title;
        std::string body;
        bool flagWrittenFirst = false;
    };
    std::unique_ptr<PreferencesWindow> prefs;
    std::vector<Alert> alerts;
};

TEST_F(PreferencesWindowTest, OffersTheSixSpeedsAndTheEighteenVoicesInOrder)
{
    std::vector<std::string> codes;
    for (const auto& voice : PreferencesWindow::voices())
        codes.push_back(voice.code);
    EXPECT_EQ(codes, (std::vector<std::string> { "zf_001", "zf_017", "zf_027", "zf_046", "zf_079", "zm_009", "zm_029",
                                                 "zm_033", "zm_095", "zm_098", "af_heart", "af_bella", "af_nova", "af_sky",
                                                 "bf_emma", "am_adam", "am_eric", "bm_george" }));
    showPreferences();
    EXPECT_EQ(prefs->speedPopup()->itemTitles(), (std::vector<std::string> { "0.8x", "1.0x", "1.25x", "1.5x", "1.75x", "2.0x" }));
    // The pop-up shows the labels whole.
    EXPECT_EQ(prefs->voicePopup()->itemTitles().front(), "Xiaoxuan (Chinese female)");
    EXPECT_EQ(prefs->voicePopup()->itemTitles().back(), "George (British male)");
    EXPECT_EQ(prefs->voicePopup()->numberOfItems(), 18);
}

TEST_F(PreferencesWindowTest, AnEmptyStoreShowsTheDefaults)
{
    EXPECT_EQ(prefs->window(), nullptr);
    showPreferences();
    ASSERT_NE(prefs->window(), nullptr);
    EXPECT_EQ(prefs->window()->title(), "Lorvantine Preferences");
    EXPECT_TRUE(prefs->window()->isVisible());
    EXPECT_TRUE(prefs->window()->isKeyWindow());
    EXPECT_EQ(prefs->window()->contentRect().size, (Size { 520, 360 }));

    EXPECT_EQ(attribute<std::string>(only("AXPopUpButton", 0), "AXValue"), "1.5x");
    EXPECT_EQ(attribute<std::string>(only("AXPopUpButton", 1), "AXValue"), "Xiaoxuan (Chinese female)");
    EXPECT_NEAR(*attribute<double>(only("AXSlider", 0), "AXValue"), 0.08, 1e-6);
    EXPECT_NEAR(*attribute<double>(only("AXSlider", 1), "AXValue"), 0.4, 1e-6);
    EXPECT_EQ(prefs->highlightValueLabel()->text(), "8%");
    EXPECT_EQ(prefs->subHighlightValueLabel()->text(), "40%");
    EXPECT_EQ(attribute<std::string>(only("AXTextField"), "AXValue"), "http://127.0.0.1:8880");
    EXPECT_EQ(prefs->serverField()->placeholder(), "http://127.0.0.1:8880");
    EXPECT_EQ(attribute<int64_t>(only("AXCheckBox"), "AXValue"), 0);
    EXPECT_TRUE(storedKeys().empty());
}

TEST_F(PreferencesWindowTest, StoredValuesAreShownAndAnUnknownVoiceSelectsNothing)
{
    defaults->set(Key::defaultSpeed, 2.0f);
    defaults->set(Key::defaultVoice, "bm_george");
    defaults->set(Key::highlightOpacity, 0.0f);
    defaults->set(Key::subHighlightOpacity, 0.25f);
    defaults->set(Key::ttsServerURL, "https://speech.example:9443");
    desktop->setLoginItemStatus(LoginItemStatus::enabled);
    showPreferences();
    EXPECT_EQ(prefs->speedPopup()->titleOfSelectedItem(), "2.0x");
    EXPECT_EQ(prefs->voicePopup()->titleOfSelectedItem(), "George (British male)");
    EXPECT_EQ(prefs->highlightValueLabel()->text(), "0%");
    EXPECT_EQ(prefs->subHighlightValueLabel()->text(), "25%");
    EXPECT_EQ(prefs->serverField()->stringValue(), "https://speech.example:9443");
    EXPECT_TRUE(prefs->launchAtLoginCheckbox()->isOn());

    PreferencesWindow other;
    defaults->set(Key::defaultVoice, "xx_unknown");
    defaults->set(Key::defaultSpeed, -1.0f);
    other.show();
    EXPECT_EQ(other.voicePopup()->indexOfSelectedItem(), -1);
    EXPECT_EQ(other.speedPopup()->titleOfSelectedItem(), "1.5x");
}

// Each control writes its own key at once, and only the language-neutral speed and voice keys.
TEST_F(PreferencesWindowTest, EachControlWritesItsKey)
{
    showPreferences();
    choose("1.5x", "1.75x");
    EXPECT_EQ(storedKeys(), (std::vector<std::string> { Key::defaultSpeed }));
    EXPECT_FLOAT_EQ(defaults->floatForKey(Key::defaultSpeed), 1.75f);

    choose("Xiaoxuan (Chinese female)", "Emma (British female)");
    EXPECT_EQ(defaults->stringForKey(Key::defaultVoice), "bf_emma");
    choose("Emma (British female)", "Yunze (Chinese male)");
    EXPECT_EQ(defaults->stringForKey(Key::defaultVoice), "zm_009");
    EXPECT_EQ(storedKeys(), (std::vector<std::string> { Key::defaultSpeed, Key::defaultVoice }));

    // Sliders, moved to their ends through accessibility, with the labels beside them.
    setValue(only("AXSlider", 0), 1.0);
    EXPECT_FLOAT_EQ(defaults->floatForKey(Key::highlightOpacity), 0.3f);
    EXPECT_EQ(prefs->highlightValueLabel()->text(), "30%");
    setValue(only("AXSlider", 1), 0.125);
    EXPECT_FLOAT_EQ(defaults->floatForKey(Key::subHighlightOpacity), 0.125f);
    EXPECT_EQ(prefs->subHighlightValueLabel()->text(), "12%");
    setValue(only("AXSlider", 1), 0.6);
    EXPECT_EQ(prefs->subHighlightValueLabel()->text(), "60%");
    std::vector<std::string> texts;
    for (const AXElement& text : controls("AXStaticText"))
        texts.push_back(attribute<std::string>(text, "AXValue").value_or(""));
    EXPECT_NE(std::find(texts.begin(), texts.end(), "60%"), texts.end());

    const AXElement field = only("AXTextField");
    setValue(field, std::string("  https://tts.example.com/v1 \n"));
    EXPECT_FALSE(defaults->object(Key::ttsServerURL));
    perform(field, "AXConfirm");
    EXPECT_EQ(defaults->stringForKey(Key::ttsServerURL), "https://tts.example.com/v1");

    press(only("AXCheckBox"));
    EXPECT_EQ(Platform::permissions().loginItemStatus(), LoginItemStatus::enabled);
    press(only("AXCheckBox"));
    EXPECT_EQ(Platform::permissions().loginItemStatus(), LoginItemStatus::notRegistered);

    EXPECT_EQ(storedKeys(), (std::vector<std::string> { Key::defaultSpeed, Key::defaultVoice, Key::highlightOpacity,
                                                       Key::subHighlightOpacity, Key::ttsServerURL }));
}

// Only an http or https address with a host is stored; anything else keeps the stored one, marks
// the field red and says so. Blank input changes nothing at all.
TEST_F(PreferencesWindowTest, TheServerAddressIsStoredOnlyWhenItIsAWebAddressWithAHost)
{
    struct Case {
        std::string typed;
        std::optional<std::string> stored; // none: the earlier address stays
    };
    const std::vector<Case> cases {
        { "http://127.0.0.1:8880", "http://127.0.0.1:8880" },
        { "\tHTTPS://tts.example.com\n", "HTTPS://tts.example.com" },
        { "http://user@[::1]:9000/api", "http://user@[::1]:9000/api" },
        { "htp://127.0.0.1:8880", std::nullopt },
        { "127.0.0.1:8880", std::nullopt },
        { "ftp://files.example.com", std::nullopt },
        { "http://", std::nullopt },
        { "http:///path", std::nullopt },
        { "http://host:99999", std::nullopt },
        { "http://host:port", std::nullopt },
        { "http://exa mple.com", std::nullopt },
        { "http://[]:80", std::nullopt },
    };
    for (const Case& c : cases)
        EXPECT_EQ(PreferencesWindow::acceptedServerURL(c.typed), c.stored) << c.typed;
    // 2,048 Characters at most, whatever their bytes.
    const std::string longest = "http://" + std::string(2048 - 12, 'a') + "é.com";
    EXPECT_TRUE(PreferencesWindow::acceptedServerURL(longest) == longest);
    EXPECT_FALSE(PreferencesWindow::acceptedServerURL("http://" + std::string(2048 - 11, 'a') + "é.com").has_value());

    showPreferences();
    const AXElement field = only("AXTextField");
    const std::string good = "https://good.example";
    setValue(field, good);
    perform(field, "AXConfirm");
    ASSERT_EQ(defaults->stringForKey(Key::ttsServerURL), good);
    EXPECT_EQ(prefs->serverField()->borderWidth(), 0);

    setValue(field, std::string("htp://typo"));
    perform(field, "AXConfirm");
    EXPECT_EQ(defaults->stringForKey(Key::ttsServerURL), good);
    EXPECT_GT(prefs->serverField()->borderWidth(), 0);
    EXPECT_EQ(prefs->serverField()->borderColor().red, 1.0);
    EXPECT_EQ(log.linesContaining("[Preferences] TTS server URL not saved").size(), 1u);
    EXPECT_EQ(prefs->serverField()->stringValue(), "htp://typo");

    // Blank: nothing stored, nothing said, the field left as it is.
    setValue(field, std::string("   \n"));
    perform(field, "AXConfirm");
    EXPECT_EQ(defaults->stringForKey(Key::ttsServerURL), good);
    EXPECT_EQ(prefs->serverField()->stringValue(), "   \n");
    EXPECT_EQ(log.linesContaining("[Preferences]").size(), 1u);

    setValue(field, std::string("http://127.0.0.1:8881"));
    perform(field, "AXConfirm");
    EXPECT_EQ(defaults->stringForKey(Key::ttsServerURL), "http://127.0.0.1:8881");
    EXPECT_EQ(prefs->serverField()->borderWidth(), 0);
}

// An address of megabytes (a paste gone wrong) is no server's: refused like a typo, it is not
// stored, so the settings file keeps its room and the changes that follow it are saved.
TEST_F(PreferencesWindowTest, AnAddressTooLongForAServerIsRefusedAndTheNextChangesAreSaved)
{
    test::ScratchDirectory directory;
    const auto file = directory / "defaults.json";
    PreferencesModel::ScopedDefaults stored(std::make_shared<SettingsFileStore>(file, Files::Durability::unflushed));
    showPreferences();
    const std::string huge = "http://tts.example/" + std::string(2 * 1024 * 1024, 'x');
    setValue(only("AXTextField"), huge);
    perform(only("AXTextField"), "AXConfirm");
    EXPECT_GT(prefs->serverField()->borderWidth(), 0);
    EXPECT_EQ(prefs->serverField()->borderColor().red, 1.0);
    const auto said = log.linesContaining("[Preferences] TTS server URL not saved");
    ASSERT_EQ(said.size(), 1u);
    EXPECT_LT(said[0].size(), 400u) << "the line quotes only the start of it";

    choose("1.5x", "2.0x");
    SettingsFileStore reopened(file);
    EXPECT_EQ(reopened.floatForKey(Key::defaultSpeed), 2.0f);
    EXPECT_FALSE(reopened.object(Key::ttsServerURL));
}

// A person closes the window with one click on its close button.
TEST_F(PreferencesWindowTest, ThePersonClosesTheWindowWithItsCloseButton)
{
    showPreferences();
    std::optional<AXElement> closeButton;
    for (const AXElement& button : controls("AXButton"))
        if (attribute<std::string>(button, "AXSubrole") == "AXCloseButton")
            closeButton = button;
    ASSERT_TRUE(closeButton);
    const Point at = *attribute<Point>(*closeButton, "AXPosition");
    const Size size = *attribute<Size>(*closeButton, "AXSize");
    click({ at.x + size.width / 2, at.y + size.height / 2 });
    EXPECT_FALSE(prefs->window()->isVisible());
    EXPECT_TRUE(programWindows().empty());
}

// The person was typing in TextEdit, opened the preferences and closes them: TextEdit is in front
// again, where the keys go. Closed with Command-W over the open voice menu, the menu goes with the
// window, and none of its items can be chosen any more.
TEST_F(PreferencesWindowTest, ClosingGivesTheFrontBackAndTakesTheOpenMenuAlong)
{
    const ProcessID textEdit = desktop->addApplication({ .pid = 502, .bundleIdentifier = "com.apple.TextEdit", .active = true });
    desktop->addWindow(textEdit, SimWindow { .title = "Reading list.txt", .frame = Rect(260, 160, 640, 420), .main = true });
    const auto front = [] { return Platform::workspace().frontmostApplication().value_or(RunningApplication {}).pid; };
    showPreferences();
    ASSERT_EQ(front(), pid());
    key(KeyEvent::keyW, EventFlags::maskCommand);
    EXPECT_FALSE(prefs->window()->isVisible());
    EXPECT_EQ(front(), textEdit);

    showPreferences();
    const std::string shown = *attribute<std::string>(only("AXPopUpButton", 1), "AXValue");
    press(only("AXPopUpButton", 1));
    const AXElement other = only("AXMenuItem", 11);
    ASSERT_NE(attribute<std::string>(other, "AXTitle"), shown);
    key(KeyEvent::keyW, EventFlags::maskCommand);
    EXPECT_FALSE(prefs->window()->isVisible());
    EXPECT_TRUE(controls("AXMenuItem").empty());
    EXPECT_TRUE(programWindows().empty()) << "no menu left on screen";
    EXPECT_EQ(front(), textEdit);
    EXPECT_NE(ax().performAction(other, "AXPress"), AXError::success);
    RunLoop::runPending();
    EXPECT_FALSE(defaults->object(Key::defaultVoice)) << "no voice chosen";
}

// A person clicks into the address, types a new one and closes the window with Command-W,
// without Return: the address is taken as Return would take it.
TEST_F(PreferencesWindowTest, AnAddressTypedAndLeftWithCommandWIsStored)
{
    showPreferences();
    const AXElement field = only("AXTextField");
    const Point at = *attribute<Point>(field, "AXPosition");
    const Size size = *attribute<Size>(field, "AXSize");
    click({ at.x + size.width / 2, at.y + size.height / 2 });
    key(0, EventFlags::maskCommand, "a");
    for (const std::string& character : Text::characters("http://10.0.0.7:8880"))
        key(0, 0, character);
    RunLoop::runPending();
    EXPECT_FALSE(defaults->object(Key::ttsServerURL)) << "nothing stored while typing";
    key(KeyEvent::keyW, EventFlags::maskCommand);
    RunLoop::runPending();
    EXPECT_FALSE(prefs->window()->isVisible());
    EXPECT_EQ(defaults->stringForKey(Key::ttsServerURL), "http://10.0.0.7:8880");
}

// A person types a new address and leaves the field with Tab: the address is taken as Return
// would take it.
TEST_F(PreferencesWindowTest, AnAddressTypedAndLeftWithTabIsStored)
{
    showPreferences();
    ASSERT_TRUE(prefs->serverField()->isTextSelected());
    typeText("http://10.0.0.9:8880");
    EXPECT_FALSE(defaults->object(Key::ttsServerURL)) << "nothing stored while typing";
    key(KeyEvent::keyTab);
    EXPECT_EQ(defaults->stringForKey(Key::ttsServerURL), "http://10.0.0.9:8880");
    EXPECT_TRUE(prefs->window()->isVisible());
    EXPECT_TRUE(prefs->serverField()->isTextSelected()) << "the only field takes the keys again";
}

// Delete takes off a whole Character, so what is stored is always text.
TEST_F(PreferencesWindowTest, DeleteInTheAddressTakesOffAWholeCharacter)
{
    showPreferences();
    struct Case {
        const char* typed;
        const char* stored;
    };
    for (const Case& c : { Case { "http://tts.example/朗读例", "http://tts.example/朗读" },
                           Case { "http://tts.example/cafe\u0301", "http://tts.example/caf" } }) {
        SCOPED_TRACE(c.typed);
        typeText(c.typed);
        key(KeyEvent::keyDelete);
        key(KeyEvent::keyReturn);
        ASSERT_TRUE(defaults->stringForKey(Key::ttsServerURL));
        EXPECT_EQ(*defaults->stringForKey(Key::ttsServerURL), c.stored);
        EXPECT_TRUE(Text::isValidUtf8(*defaults->stringForKey(Key::ttsServerURL)));
    }
}

// Every voice's label shows whole in the pop-up, in both languages, and the pop-up lies inside
// the window; with a wider face than the row has room for, the window grows to hold it.
TEST_F(PreferencesWindowTest, TheVoicePopUpShowsEachLabelWhole)
{
    // A face that sets every text two and a half times as wide.
    class WideMeasurer final : public TextMeasurer {
    public:
        explicit WideMeasurer(std::shared_ptr<const TextMeasurer> face) : m_face(std::move(face)) { }
        Size size(const std::string& text, const Font& font, std::optional<double> maxWidth) const override
        {
            const Size s = m_face->size(text, font, maxWidth ? std::optional(*maxWidth / 2.5) : std::nullopt);
            return { s.width * 2.5, s.height };
        }
        double lineHeight(const Font& font) const override { return m_face->lineHeight(font); }

    private:
        std::shared_ptr<const TextMeasurer> m_face;
    };
    struct Case {
        const char* name;
        LocalizedStrings::Language language;
        bool wide;
    };
    for (const Case& c : { Case { "English", LocalizedStrings::Language::english, false },
                           Case { "Chinese", LocalizedStrings::Language::chinese, false },
                           Case { "English, a wide face", LocalizedStrings::Language::english, true } }) {
        SCOPED_TRACE(c.name);
        LocalizedStrings::setLanguage(c.language);
        std::shared_ptr<const TextMeasurer> face = std::make_shared<PangoTextMeasurer>();
        if (c.wide)
            face = std::make_shared<WideMeasurer>(face);
        auto previous = TextMeasurer::install(face);
        {
            PreferencesWindow window;
            window.show();
            RunLoop::runPending();
            PopUpButton& popUp = *window.voicePopup();
            // The pop-up draws its title from 8 points in, and keeps 18 points at its right end
            // for its arrows.
            for (const std::string& label : popUp.itemTitles())
                EXPECT_LE(TextMeasurer::current().size(label, popUp.font()).width + 8 + 18, popUp.frame().width()) << label;
            const double contentWidth = window.window()->contentRect().width();
            EXPECT_LE(popUp.frame().maxX() + 24, contentWidth);
            EXPECT_EQ(contentWidth > 520, c.wide);
            EXPECT_EQ(Screen::main()->frame.intersection(window.window()->frame()), window.window()->frame()) << "on the screen";
            window.window()->close();
        }
        TextMeasurer::install(previous);
    }
}

// However the button is reached while its alert waits (clicks, accessibility), the person has
// one alert to answer, and one click answers it.
TEST_F(PreferencesWindowTest, ResettingAgainWhileTheAlertIsUpOpensNoSecondAlert)
{
    ApplicationShell::wire(*prefs);
    showPreferences();
    const AXElement reset = host->element(*prefs->resetOnboardingButton());
    const auto middle = [&](const AXElement& element) {
        const Point at = *attribute<Point>(element, "AXPosition");
        const Size size = *attribute<Size>(element, "AXSize");
        return Point { at.x + size.width / 2, at.y + size.height / 2 };
    };
    int shown = 0;
    {
        lorvantine::Alert::ScopedResponder responder([&](lorvantine::Alert& alert) {
            if (++shown > 1) {
                lorvantine::Alert::abortModal();
                return;
            }
            click(middle(reset));
            click(middle(reset));
            EXPECT_EQ(ax().performAction(reset, "AXPress"), AXError::success);
            RunLoop::runPending();
            auto ok = find(programElement(), "AXButton", alert.buttons().at(0));
            ASSERT_TRUE(ok);
            click(middle(*ok));
            DispatchQueue::main().async([] { lorvantine::Alert::abortModal(); });
        });
        press(reset);
    }
    EXPECT_EQ(shown, 1);
    EXPECT_FALSE(lorvantine::Alert::current());
    EXPECT_FALSE(defaults->boolForKey(Key::hasCompletedOnboarding));
}

// A refused change of the login item shows what the system reports, with the failure line.
TEST_F(PreferencesWindowTest, AFailedLaunchAtLoginChangeShowsTheStateTheSystemReports)
{
    for (const bool registered : { false, true }) {
        desktop->setLoginItemChangesFail(false);
        desktop->setLoginItemStatus(registered ? LoginItemStatus::enabled : LoginItemStatus::notRegistered);
        desktop->setLoginItemChangesFail(true);
        log.clear();
        PreferencesWindow window;
        window.show();
        RunLoop::runPending();
        ASSERT_EQ(window.launchAtLoginCheckbox()->isOn(), registered);
        window.launchAtLoginCheckbox()->performClick();
        EXPECT_EQ(window.launchAtLoginCheckbox()->isOn(), registered);
        EXPECT_EQ(log.lines(), (std::vector<std::string> { "[Preferences] Launch at login error: Operation not permitted" }));
    }
}

TEST_F(PreferencesWindowTest, ResettingOnboardingWritesTheFlagThenAsksForTheAlertEachTime)
{
    defaults->set(Key::hasCompletedOnboarding, true);
    showPreferences();
    press(contentButtons().back());
    press(contentButtons().back());
    ASSERT_EQ(alerts.size(), 2u);
    for (const Alert& alert : alerts) {
        EXPECT_EQ(alert.title, "Onboarding reset");
        EXPECT_EQ(alert.body, "The welcome guide will appear the next time Lorvantine starts.");
        EXPECT_TRUE(alert.flagWrittenFirst);
    }
    ASSERT_TRUE(defaults->object(Key::hasCompletedOnboarding));
    EXPECT_FALSE(defaults->boolForKey(Key::hasCompletedOnboarding));
}

// Showing it again only brings the same window forward; what the mini player stored since is not
// shown, and a closed window comes back as it was.
TEST_F(PreferencesWindowTest, ReopeningKeepsTheControlsAsTheyWere)
{
    showPreferences();
    Window* first = prefs->window();
    choose("1.5x", "2.0x");
    PreferencesModel::recordSpeedChange(0.8f, true);
    PreferencesModel::recordVoiceChange("af_sky");
    first->close();
    RunLoop::runPending();
    EXPECT_TRUE(programWindows().empty());
    showPreferences();
    EXPECT_EQ(prefs->window(), first);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(prefs->speedPopup()->titleOfSelectedItem(), "2.0x");
    EXPECT_EQ(prefs->voicePopup()->titleOfSelectedItem(), "Xiaoxuan (Chinese female)");
    EXPECT_EQ(programWindows().size(), 1u);
}

TEST_F(PreferencesWindowTest, TheStringsExistInBothLanguages)
{
    for (const char* key : { "prefs.window.title", "prefs.section.general", "prefs.section.appearance", "prefs.section.advanced",
                             "prefs.launch_at_login", "prefs.default_speed", "prefs.default_voice", "prefs.highlight_opacity",
                             "prefs.sub_highlight_opacity", "prefs.tts_server", "prefs.reset_onboarding",
                             "prefs.reset_onboarding.alert.title", "prefs.reset_onboarding.alert.body" }) {
        EXPECT_TRUE(LocalizedStrings::contains(key, LocalizedStrings::Language::english)) << key;
        EXPECT_TRUE(LocalizedStrings::contains(key, LocalizedStrings::Language::chinese)) << key;
    }
    LocalizedStrings::setLanguage(LocalizedStrings::Language::chinese);
    showPreferences();
    EXPECT_EQ(prefs->window()->title(), "Lorvantine 设置");
    EXPECT_EQ(prefs->voicePopup()->titleOfSelectedItem(), "晓萱 (中文女声)");
}

// The picture is kept for a person to look at; every control draws inside its frame, and the
// labels' texts are not cut off.
TEST_F(PreferencesWindowTest, APictureShowsEveryControlWhereItsFrameSays)
{
    showPreferences();
    Window& window = *prefs->window();
    ASSERT_TRUE(savePicture(window, "preferences-window.png"));
    std::vector<View*> views;
    for (const auto& view : window.contentView()->subviews())
        views.push_back(view.get());
    EXPECT_EQ(views.size(), 20u);
    expectDrawnInsideFrames(window, views);
    for (const auto& view : window.contentView()->subviews()) {
        if (auto* label = dynamic_cast<Label*>(view.get())) {
            EXPECT_LE(label->fittingSize().width, label->frame().width() + 0.5) << label->text();
        }
    }
    // The frames the window's layout fixes.
    EXPECT_EQ(prefs->launchAtLoginCheckbox()->frame(), Rect(24, 290, 200, 20));
    EXPECT_EQ(prefs->speedPopup()->frame(), Rect(110, 258, 90, 26));
    // The voice pop-up is as wide as its longest label needs.
    const Rect voice = prefs->voicePopup()->frame();
    EXPECT_EQ(voice, Rect(110, 226, std::max(200.0, prefs->voicePopup()->fittingWidth()), 26));
    EXPECT_EQ(prefs->highlightSlider()->frame(), Rect(150, 158, 200, 20));
    EXPECT_EQ(prefs->subHighlightValueLabel()->frame(), Rect(360, 130, 50, 20));
    EXPECT_EQ(prefs->serverField()->frame(), Rect(120, 58, 340, 24));
    EXPECT_EQ(prefs->resetOnboardingButton()->frame(), Rect(24, 22, 160, 28));
}

} // namespace
} // namespace lorvantine
