#include "ToolkitTest.h"

#include "Platform/Toolkit/Application.h"
#include "Platform/Toolkit/Button.h"
#include "Platform/Toolkit/TextField.h"
#include "Platform/Toolkit/Window.h"
#include "Platform/WorkspacePort.h"
#include "Support/Text.h"

namespace lorvantine {
namespace {

// A person's keys and clicks on a titled, closable 400 × 200 window of the program, whose content
// has a text field; the window's frame is at top-left (100, 472) on the 900-point screen.
class Keyboard : public ToolkitTest {
protected:
    void SetUp() override
    {
        ToolkitTest::SetUp();
        window = std::make_shared<Window>(Rect(100, 200, 400, 200), WindowStyle::titled | WindowStyle::closable);
        field = std::make_shared<TextField>(Rect(20, 100, 300, 24), "http://127.0.0.1:8880");
        field->onAction = [this] { confirmed.push_back(field->stringValue()); };
        window->contentView()->addSubview(field);
        window->onWillClose = [this] { ++closings; };
    }
    void TearDown() override
    {
        window.reset();
        ToolkitTest::TearDown();
    }

    // Shows the window in front, as the preferences do: key, the program active.
    void showInFront()
    {
        window->makeKeyAndOrderFront();
        Application::shared().activate();
        RunLoop::runPending();
    }
    void type(const std::string& text)
    {
        for (const std::string& character : Text::characters(text))
            key(0, 0, character);
    }
    void commandW() { key(KeyEvent::keyW, EventFlags::maskCommand); }
    // The close button's middle, in top-left screen points.
    Point closeButton() const
    {
        const View& button = *window->closeButton();
        const Rect r = window->convertRectToScreen(button.convertToView(button.bounds(), nullptr));
        return { r.midX(), 900 - r.midY() };
    }

    std::shared_ptr<Window> window;
    std::shared_ptr<TextField> field;
    std::vector<std::string> confirmed;
    int closings = 0;
};

TEST_F(Keyboard, CommandWClosesTheClosableKeyWindowOfTheProgramInFront)
{
    showInFront();
    key(KeyEvent::keyW); // w alone types nothing a window acts on
    key(KeyEvent::keyW, EventFlags::maskCommand | EventFlags::maskAlternate);
    EXPECT_TRUE(window->isVisible());
    commandW();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(closings, 1);

    // Shown again, it closes again; a window without the close button stays.
    showInFront();
    commandW();
    EXPECT_FALSE(window->isVisible());
    auto fixed = std::make_shared<Window>(Rect(600, 200, 300, 200), WindowStyle::titled);
    fixed->makeKeyAndOrderFront();
    RunLoop::runPending();
    commandW();
    EXPECT_TRUE(fixed->isVisible());
    EXPECT_EQ(fixed->closeButton(), nullptr);

    // With another application in front the keys are that one's.
    showInFront();
    ASSERT_TRUE(Platform::workspace().activate(700, WorkspacePort::ActivationOptions::none));
    commandW();
    EXPECT_TRUE(window->isVisible());
}

TEST_F(Keyboard, OneClickOnTheCloseButtonClosesTheWindowAndAccessibilityFindsIt)
{
    window->orderFront(); // not key: the click that brings it forward closes it too
    RunLoop::runPending();
    ASSERT_NE(window->closeButton(), nullptr);
    click(closeButton());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(closings, 1);

    showInFront();
    auto button = find(programElement(), "AXButton");
    ASSERT_TRUE(button);
    EXPECT_EQ(attribute<std::string>(*button, "AXSubrole"), "AXCloseButton");
    EXPECT_EQ(attribute<std::string>(*button, "AXDescription"), "close button");
    press(*button);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(closings, 2);
}

// The field the window gives the keys to has its text selected, so typing replaces it; a click
// in it puts the caret at the end instead.
TEST_F(Keyboard, TheFocusedFieldTakesTheTypedTextDeleteCommandAAndReturn)
{
    showInFront();
    EXPECT_EQ(window->firstResponder(), field.get());
    EXPECT_TRUE(field->isTextSelected());
    type("http://tts.example");
    EXPECT_EQ(field->stringValue(), "http://tts.example");
    key(KeyEvent::keyDelete);
    key(KeyEvent::keyDelete);
    type("é.com");
    EXPECT_EQ(field->stringValue(), "http://tts.exampé.com");
    EXPECT_TRUE(confirmed.empty()) << "typing ends no editing";
    key(KeyEvent::keyReturn);
    EXPECT_EQ(confirmed, (std::vector<std::string> { "http://tts.exampé.com" }));

    // After Return the text is selected again: the next address replaces it.
    type("http://a");
    key(KeyEvent::keyA, EventFlags::maskCommand);
    key(KeyEvent::keyDelete);
    EXPECT_EQ(field->stringValue(), "");
    type("http://b");
    const Rect r = window->convertRectToScreen(field->convertToView(field->bounds(), nullptr));
    click({ r.midX(), 900 - r.midY() });
    type(":1");
    key(KeyEvent::keyTab, 0, "\t");
    key(KeyEvent::keyReturn);
    EXPECT_EQ(confirmed.back(), "http://b:1");

    // A field that cannot be edited takes no keys.
    field->setEditable(false);
    type("zz");
    EXPECT_EQ(field->stringValue(), "http://b:1");
}

// Tab leaves the field as Return does and gives the keys to the next field, Shift-Tab to the one
// before, round the loop; controls that take no keys (a button) are passed over.
TEST_F(Keyboard, TabEndsTheFieldsEditingAndMovesTheKeysAlongTheFields)
{
    auto button = std::make_shared<Button>(Rect(20, 60, 120, 28), "Reset");
    window->contentView()->addSubview(button);
    auto port = std::make_shared<TextField>(Rect(20, 20, 100, 24), "8880");
    std::vector<std::string> portConfirmed;
    port->onAction = [&] { portConfirmed.push_back(port->stringValue()); };
    window->contentView()->addSubview(port);
    showInFront();
    ASSERT_EQ(window->firstResponder(), field.get());

    type("http://tts.example");
    key(KeyEvent::keyTab);
    EXPECT_EQ(confirmed, (std::vector<std::string> { "http://tts.example" }));
    EXPECT_EQ(window->firstResponder(), port.get());
    type("9443");
    EXPECT_EQ(port->stringValue(), "9443") << "the next field's text is selected: typing replaces it";

    key(KeyEvent::keyTab, EventFlags::maskShift);
    EXPECT_EQ(portConfirmed, (std::vector<std::string> { "9443" }));
    EXPECT_EQ(window->firstResponder(), field.get());
    key(KeyEvent::keyTab, EventFlags::maskShift);
    EXPECT_EQ(window->firstResponder(), port.get()) << "from the first back to the last";
    key(KeyEvent::keyTab);
    EXPECT_EQ(window->firstResponder(), field.get()) << "from the last on to the first";
    EXPECT_EQ(confirmed.size(), 1u) << "a field left untouched ends no editing";
    EXPECT_EQ(portConfirmed.size(), 1u);
}

// The only field of the window takes the keys again: its editing ends and its text is selected.
TEST_F(Keyboard, TabInTheOnlyFieldEndsItsEditing)
{
    showInFront();
    type("http://10.0.0.7:8880");
    key(KeyEvent::keyTab);
    EXPECT_EQ(confirmed, (std::vector<std::string> { "http://10.0.0.7:8880" }));
    EXPECT_EQ(window->firstResponder(), field.get());
    EXPECT_TRUE(field->isTextSelected());
    type("http://b");
    EXPECT_EQ(field->stringValue(), "http://b");
}

// Delete takes off the last Character whole, however many code points and bytes it has.
TEST_F(Keyboard, DeleteTakesOffTheLastCharacterWhole)
{
    const char* const characters[] = {
        "例",                                  // three bytes
        "e\u0301",                             // e and a combining accent
        "\u00e9",                              // é in one code point
        "\U0001F44D\U0001F3FD",                // a thumb and its skin tone
        "\U0001F1EB\U0001F1F7",                // a flag
        "\U0001F469\u200D\U0001F4BB",          // a woman at a computer (joined)
    };
    showInFront();
    for (const char* character : characters) {
        SCOPED_TRACE(character);
        key(KeyEvent::keyA, EventFlags::maskCommand);
        type(std::string("http://例.example/") + character);
        key(KeyEvent::keyDelete);
        EXPECT_EQ(field->stringValue(), "http://例.example/");
        EXPECT_TRUE(Text::isValidUtf8(field->stringValue()));
    }
}

} // namespace
} // namespace lorvantine
