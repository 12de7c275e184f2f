#pragma once

#include "Accessibility/ArticleParser.h"
#include "Platform/Services.h"
#include "SimDesktop/SimDesktop.h"
#include "Support/Log.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

// A simulated desktop installed as the program's platform for as long as it lives.
class InstalledDesktop {
public:
    explicit InstalledDesktop(std::shared_ptr<SimDesktop> desktop)
        : m_desktop(std::move(desktop))
        , m_scope(m_desktop->services())
    {
    }

    SimDesktop& operator*() const { return *m_desktop; }
    SimDesktop* operator->() const { return m_desktop.get(); }
    const std::shared_ptr<SimDesktop>& desktop() const { return m_desktop; }

private:
    std::shared_ptr<SimDesktop> m_desktop;
    Platform::ScopedServices m_scope;
};

inline std::string fixturePath(const std::string& name)
{
    return std::string(LORVANTINE_SOURCE_DIR) + "/tests/fixtures/" + name;
}

// The fixture's desktop; a fixture that does not load fails the test that asked for it.
inline std::shared_ptr<SimDesktop> loadFixture(const std::string& name)
{
    std::string error;
    auto desktop = SimDesktop::load(fixturePath(name), error);
    EXPECT_TRUE(desktop) << error;
    return desktop ? desktop : SimDesktop::create();
}

inline constexpr ProcessID articleAppPid = 700;
inline constexpr uint32_t articleWindowNumber = 42;
inline const Rect articleWindowFrame { 100, 50, 800, 700 };

// One application with one window at `articleWindowFrame` whose web area (at the window's
// top-left corner, as wide as the window) holds `content`.
inline SimFixture articleFixture(std::vector<SimElement> content, const std::string& bundleID = "com.apple.Safari",
                                 std::optional<std::string> webAreaDescription = std::nullopt,
                                 const std::string& windowTitle = "Article")
{
    SimElement webArea("AXWebArea");
    webArea.named("web-area");
    webArea.at({ 0, 0 }).sized(articleWindowFrame.width());
    if (webAreaDescription)
        webArea.with("AXDescription", *webAreaDescription);
    webArea.children = std::move(content);

    SimWindow window;
    window.number = articleWindowNumber;
    window.name = "window";
    window.title = windowTitle;
    window.frame = articleWindowFrame;
    window.main = true;
    window.children.push_back(std::move(webArea));

    SimApplication app;
    app.pid = articleAppPid;
    app.bundleIdentifier = bundleID;
    app.active = true;
    app.windows.push_back(std::move(window));

    SimFixture fixture;
    fixture.applications.push_back(std::move(app));
    return fixture;
}

// A static text of a fixed size: its frame is the element's frame, not its laid-out text.
inline SimElement staticText(const std::string& text, Rect frame)
{
    return SimElement("AXStaticText", text).frame(frame);
}

inline std::vector<std::string> textsOf(const std::vector<ArticleParagraph>& paragraphs)
{
    std::vector<std::string> texts;
    for (const auto& p : paragraphs)
        texts.push_back(p.text);
    return texts;
}

inline std::vector<std::string> rolesOf(const std::vector<ArticleParagraph>& paragraphs)
{
    std::vector<std::string> roles;
    for (const auto& p : paragraphs)
        roles.push_back(p.role);
    return roles;
}

inline std::vector<ArticleParagraph> capturedParagraphs(const std::optional<std::string>& bundleID = std::nullopt)
{
    auto captured = ArticleParser::captureArticle(bundleID);
    return captured ? captured->paragraphs : std::vector<ArticleParagraph> {};
}

// Builds one article window from the elements a test gives and installs it.
class ArticleTreeTest : public ::testing::Test {
protected:
    std::optional<InstalledDesktop> desktop;
    Log::Capture log;

    void install(const SimFixture& fixture) { desktop.emplace(SimDesktop::create(fixture)); }

    std::optional<CapturedArticle> capture(std::vector<SimElement> content,
                                           std::optional<std::string> webAreaDescription = std::nullopt,
                                           const std::string& windowTitle = "Article")
    {
        install(articleFixture(std::move(content), "com.apple.Safari", std::move(webAreaDescription), windowTitle));
        return ArticleParser::captureArticle("com.apple.Safari");
    }

    std::vector<ArticleParagraph> paragraphs(std::vector<SimElement> content,
                                             std::optional<std::string> webAreaDescription = std::nullopt)
    {
        auto captured = capture(std::move(content), std::move(webAreaDescription));
        EXPECT_TRUE(captured);
        return captured ? captured->paragraphs : std::vector<ArticleParagraph> {};
    }

    AXElement element(const std::string& name) { return (*desktop)->element(name); }
};

// A block whose one static text fills it.
inline SimElement textBlock(const std::string& text, Rect frame)
{
    return SimElement("AXGroup").frame(frame).child(staticText(text, Rect(0, 0, frame.width(), frame.height())));
}

// Global top-left coordinates of a rectangle given relative to the article window's web area.
inline Rect onScreen(Rect local)
{
    return Rect(articleWindowFrame.minX() + local.minX(), articleWindowFrame.minY() + local.minY(), local.width(),
                local.height());
}

} // namespace lorvantine
