#include "SimDesktop/Model/SimDemoFixture.h"
#include "SimDesktop/Model/SimFixtureLoader.h"

#include "SimDesktopTestSupport.h"
#include "TestSupport/ScopedEnvironment.h"
#include "TestSupport/ScratchDirectory.h"

#include <gtest/gtest.h>


namespace lorvantine {
namespace {

std::string parseError(const std::string& json)
{
    auto result = SimFixtureLoader::parse(json, "bad.json");
    if (result)
        return "(accepted)";
    return result.error();
}

TEST(SimFixtureLoader, MalformedFixturesAreRefusedWithFilePathAndReason)
{
    const std::string window = R"({"applications": [{"windows": [{"frame": [0, 0, 10, 10]}, )";
    const std::vector<std::pair<std::string, std::string>> cases {
        { "{\"applications\": [", "bad.json: not valid JSON: parse error at line 1, column 19: syntax error while parsing value - "
                                  "unexpected end of input; "
                                  "expected '[', '{', or a literal" },
        { "[]", "bad.json: /: expected an object, found an array" },
        { R"({"aplications": []})", "bad.json: /aplications: unknown key \"aplications\"" },
        { window + R"({"frame": [0, 0, 10]}]}]})",
          "bad.json: /applications/0/windows/1/frame: expected [x, y, width, height]" },
        { window + R"({"title": "x"}]}]})", "bad.json: /applications/0/windows/1: missing \"frame\"" },
        { window + R"({"frame": [0, 0, -1, 10]}]}]})",
          "bad.json: /applications/0/windows/1/frame: width and height must not be negative" },
        { R"({"applications": [{"pid": "12"}]})", "bad.json: /applications/0/pid: expected an integer, found a string" },
        { R"({"applications": [{"pid": 5}, {"pid": 5}]})", "bad.json: /applications/1/pid: pid 5 is used twice" },
        { R"({"applications": [{"windows": [{"number": 3, "frame": [0,0,1,1]}, {"number": 3, "frame": [0,0,1,1]}]}]})",
          "bad.json: /applications/0/windows/1/number: window number 3 is used twice" },
        { window + R"({"frame": [0,0,1,1], "children": [{"text": "x"}]}]}]})",
          "bad.json: /applications/0/windows/1/children/0: missing \"role\"" },
        { window + R"({"frame": [0,0,1,1], "children": [{"role": "AXGroup", "childs": []}]}]}]})",
          "bad.json: /applications/0/windows/1/children/0/childs: unknown key \"childs\"" },
        { window + R"({"frame": [0,0,1,1], "children": [{"role": "AXGroup", "errors": {"AXValue": -1}}]}]}]})",
          "bad.json: /applications/0/windows/1/children/0/errors/AXValue: unknown error code -1 (expected -25200 … -25214)" },
        { window + R"({"frame": [0,0,1,1], "children": [{"role": "AXGroup", "errors": {"AXValue": "oops"}}]}]}]})",
          "bad.json: /applications/0/windows/1/children/0/errors/AXValue: unknown error \"oops\"" },
        { window + R"({"frame": [0,0,1,1], "children": [{"role": "AXGroup", "attributes": {"AXPosition": {"point": [1]}}}]}]}]})",
          "bad.json: /applications/0/windows/1/children/0/attributes/AXPosition/point: expected [x, y]" },
        { window + R"({"frame": [0,0,1,1], "children": [{"role": "AXGroup", "attributes": {"AXPosition": {"pont": [1, 2]}}}]}]}]})",
          "bad.json: /applications/0/windows/1/children/0/attributes/AXPosition/pont: unknown type tag \"pont\"" },
        { window + R"({"frame": [0,0,1,1], "children": [{"role": "AXGroup", "attributes": {"AXTitleUIElement": {"element": "nobody"}}}]}]}]})",
          "bad.json: /applications/0/windows/1/children/0/attributes/AXTitleUIElement/element: no element is named \"nobody\"" },
        { window + R"({"frame": [0,0,1,1], "children": [{"role": "AXGroup", "name": "a"}, {"role": "AXGroup", "name": "a"}]}]}]})",
          "bad.json: /applications/0/windows/1/children/1/name: the name \"a\" is already used at "
          "/applications/0/windows/1/children/0/name" },
        { window + R"({"frame": [0,0,1,1], "children": [{"role": "AXGroup", "text": "a", "runs": ["b"]}]}]}]})",
          "bad.json: /applications/0/windows/1/children/0/runs: an element has either \"text\" or \"runs\"" },
        { window + R"({"frame": [0,0,1,1], "children": [{"role": "AXGroup", "runs": [{"text": "a", "lineBreak": true}]}]}]}]})",
          "bad.json: /applications/0/windows/1/children/0/runs/0: a run has one of \"text\", \"runs\" or \"lineBreak\"" },
        { window + R"({"frame": [0,0,1,1], "children": [{"role": "AXGroup", "runs": [{"runs": ["a"]}]}]}]}]})",
          "bad.json: /applications/0/windows/1/children/0/runs/0/runs: nested runs need a \"link\" or a \"role\"" },
        { window + R"({"frame": [0,0,1,1], "children": [{"role": "AXGroup", "runs": [{"text": "a", "role": "AXGroup"}]}]}]}]})",
          "bad.json: /applications/0/windows/1/children/0/runs/0/role: an inline element holds \"runs\" and has no \"link\"" },
        { window + R"({"frame": [0,0,1,1], "children": [{"role": "AXGroup", "runs": [{"lineBreak": false}]}]}]}]})",
          "bad.json: /applications/0/windows/1/children/0/runs/0/lineBreak: a line break is true and has no \"link\"" },
        { window + R"({"frame": [0,0,1,1], "children": [{"heading": "H", "level": 9}]}]}]})",
          "bad.json: /applications/0/windows/1/children/0/level: expected 1 to 6" },
        { window + R"({"frame": [0,0,1,1], "children": [{"role": "AXGroup", "font": {"size": 0}}]}]}]})",
          "bad.json: /applications/0/windows/1/children/0/font/size: must be between 0 and 1000 points" },
        { window + R"({"frame": [0,0,1,1], "children": [{"role": "AXTable", "table": {"columns": [10, 20], "rows": [["a"]]}}]}]}]})",
          "bad.json: /applications/0/windows/1/children/0/table/rows/0: expected one text per column (2)" },
        { window + R"({"frame": [0,0,1,1], "children": [{"role": "AXTable", "table": {"columns": [0], "rows": []}}]}]}]})",
          "bad.json: /applications/0/windows/1/children/0/table/columns/0: a column is wider than 0 points" },
        { window + R"({"frame": [0,0,1,1], "children": [{"role": "AXTable", "children": [], "table": {"columns": [9], "rows": []}}]}]}]})",
          "bad.json: /applications/0/windows/1/children/0/table: a table has no \"children\" of its own" },
        { window + R"({"frame": [0,0,1,1], "children": [{"role": "AXTable", "table": {"columns": [9], "rows": [], "ruleColour": "#000000"}}]}]}]})",
          "bad.json: /applications/0/windows/1/children/0/table/ruleColour: \"ruleColour\" needs \"rules\"" },
        { window + R"({"frame": [0,0,1,1], "children": [{"role": "AXTable", "table": {"columns": [9], "rows": [], "rules": "dotted"}}]}]}]})",
          "bad.json: /applications/0/windows/1/children/0/table/rules: unknown value \"dotted\" (expected one of grid, none, rows)" },
        { R"({"applications": [{"attributes": {"AXFocusedUIElement": {"element": "x"}}}]})",
          "bad.json: /applications/0/attributes/AXFocusedUIElement/element: element references are allowed on elements only" },
        { R"({"loginItemChanges": "sometimes"})",
          "bad.json: /loginItemChanges: unknown value \"sometimes\" (expected one of fail, succeed)" },
        { R"({"inputMonitoring": "maybe"})",
          "bad.json: /inputMonitoring: unknown value \"maybe\" (expected one of denied, granted, unknown)" },
        { R"({"screens": [{"frame": [0, 0, 100, 100], "scale": 0}]})", "bad.json: /screens/0/scale: must be positive" },
        { R"({"pasteboard": [{"public.utf8-plain-text": 3}]})",
          "bad.json: /pasteboard/0/public.utf8-plain-text: expected a string, found an integer" },
        { R"({"applications": [{"menuBar": [{"title": "File", "items": [{"key": 45}]}]}]})",
          "bad.json: /applications/0/menuBar/0/items/0: missing \"title\"" },
        { R"({"applications": [{"attributes": {"a/b": {"size": [1]}}}]})",
          "bad.json: /applications/0/attributes/a~1b/size: expected [width, height]" },
    };
    for (const auto& [json, message] : cases)
        EXPECT_EQ(parseError(json), message) << json;
}

TEST(SimFixtureLoader, ElementsNestedTooDeepAreRefusedBeforeTheyAreRead)
{
    constexpr int depth = 20'000;
    std::string json = R"({"applications": [{"windows": [{"frame": [0, 0, 10, 10], "children": [)";
    for (int i = 0; i < depth; ++i)
        json += R"({"role": "AXGroup", "children": [)";
    for (int i = 0; i < depth; ++i)
        json += "]}";
    json += "]}]}]}";
    EXPECT_EQ(parseError(json), "bad.json: not valid JSON: nested deeper than 512 levels");
}

TEST(SimFixtureLoader, FilesThatCannotBeReadAreNamed)
{
    auto missing = SimFixtureLoader::load("/nonexistent/desk.json");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error(), "/nonexistent/desk.json: cannot be read");
    auto directory = SimFixtureLoader::load("/tmp");
    ASSERT_FALSE(directory);
    EXPECT_EQ(directory.error(), "/tmp: is a directory, not a fixture file");

    std::string error;
    EXPECT_EQ(SimDesktop::load("/nonexistent/desk.json", error), nullptr);
    EXPECT_EQ(error, "/nonexistent/desk.json: cannot be read");
}

TEST(SimFixtureLoader, TypedValuesCoverEveryKindOfAttributeValue)
{
    const std::string json = R"({"applications": [{"pid": 9, "windows": [{"frame": [0, 0, 300, 200], "children": [
        {"role": "AXGroup", "name": "g", "title": "Title", "description": "Desc", "subrole": "AXSub",
         "attributes": {
            "s": "text", "b": true, "i": 7, "d": 2.5, "forcedDouble": {"double": 3}, "forcedInteger": {"integer": 4},
            "list": ["a", "b"], "emptyList": {"strings": []}, "p": {"point": [1, 2]}, "z": {"size": [3, 4]},
            "r": {"rect": [1, 2, 3, 4]}, "range": {"range": [5, 6]}, "u": {"url": "https://x"}, "n": null,
            "tagged": {"string": "{not a tag}"}, "flag": {"bool": false}, "none": {"none": null},
            "plain": {"attributedString": "plain"},
            "rich": {"attributedString": {"string": "ab", "runs": [{"range": [0, 1], "attributes": {"AXLink": "x"}}]}},
            "me": {"element": "g"}, "us": {"elements": ["g", "t"]}
         },
         "value": {"range": [1, 1]},
         "errors": {"AXHelp": "noValue", "AXOther": -25204},
         "actions": ["AXPress"], "settable": ["AXValue"],
         "children": [{"role": "AXStaticText", "name": "t", "text": "x"}]}
    ]}]}]})";
    auto fixture = SimFixtureLoader::parse(json, "typed.json");
    ASSERT_TRUE(fixture) << fixture.error();
    PortsUnderTest t(SimDesktop::create(*fixture));
    const AXElement g = t.desktop->element("g");
    EXPECT_EQ(t.get<std::string>(g, "AXTitle"), "Title");
    EXPECT_EQ(t.get<std::string>(g, "AXDescription"), "Desc");
    EXPECT_EQ(t.get<std::string>(g, "AXSubrole"), "AXSub");
    EXPECT_EQ(t.get<std::string>(g, "s"), "text");
    EXPECT_EQ(t.get<bool>(g, "b"), true);
    EXPECT_EQ(t.get<int64_t>(g, "i"), 7);
    EXPECT_EQ(t.get<double>(g, "d"), 2.5);
    EXPECT_EQ(t.get<double>(g, "forcedDouble"), 3.0);
    EXPECT_EQ(t.get<int64_t>(g, "forcedInteger"), 4);
    EXPECT_EQ(t.get<std::vector<std::string>>(g, "list"), (std::vector<std::string> { "a", "b" }));
    EXPECT_EQ(t.get<std::vector<std::string>>(g, "emptyList"), std::vector<std::string> {});
    EXPECT_EQ(t.get<Point>(g, "p"), (Point { 1, 2 }));
    EXPECT_EQ(t.get<Size>(g, "z"), (Size { 3, 4 }));
    EXPECT_EQ(t.get<Rect>(g, "r"), Rect(1, 2, 3, 4));
    EXPECT_EQ(t.get<AXRange>(g, "range"), (AXRange { 5, 6 }));
    EXPECT_EQ(t.get<AXURL>(g, "u"), AXURL { "https://x" });
    EXPECT_EQ(t.get<std::monostate>(g, "n"), std::monostate {});
    EXPECT_EQ(t.get<std::string>(g, "tagged"), "{not a tag}");
    EXPECT_EQ(t.get<bool>(g, "flag"), false);
    EXPECT_EQ(t.get<std::monostate>(g, "none"), std::monostate {});
    EXPECT_EQ(t.get<AXAttributedString>(g, "plain"), (AXAttributedString { "plain", {} }));
    auto rich = t.get<AXAttributedString>(g, "rich");
    ASSERT_TRUE(rich);
    EXPECT_EQ(rich->runs.at(0).range, (AXRange { 0, 1 }));
    EXPECT_EQ(rich->runs.at(0).attributes.at("AXLink"), "x");
    EXPECT_EQ(t.get<AXElement>(g, "me"), g);
    EXPECT_EQ(t.get<std::vector<AXElement>>(g, "us"), (std::vector<AXElement> { g, t.desktop->element("t") }));
    EXPECT_EQ(t.get<AXRange>(g, "AXValue"), (AXRange { 1, 1 }));
    EXPECT_EQ(t.error(g, "AXHelp"), AXError::noValue);
    EXPECT_EQ(t.error(g, "AXOther"), AXError::cannotComplete);
    std::vector<std::string> actions;
    EXPECT_EQ(t.ax().copyActionNames(g, actions), AXError::success);
    EXPECT_EQ(actions, std::vector<std::string> { "AXPress" });
}

TEST(SimFixtureLoader, ShorthandsMakeParagraphsHeadingsAndRuns)
{
    const std::string json = R"({"applications": [{"pid": 9, "windows": [{"frame": [0, 0, 500, 400], "children": [
        {"role": "AXGroup", "name": "body", "font": {"size": 14}, "paragraphs": [
            {"heading": "Title", "level": 2, "name": "h"},
            "First paragraph.",
            {"role": "AXGroup", "name": "p", "runs": ["See ", {"text": "this link", "link": "https://x/y"}, "."]}
        ]}
    ]}]}]})";
    auto fixture = SimFixtureLoader::parse(json, "short.json");
    ASSERT_TRUE(fixture) << fixture.error();
    PortsUnderTest t(SimDesktop::create(*fixture));
    const auto children = *t.get<std::vector<AXElement>>(t.desktop->element("body"), "AXChildren");
    ASSERT_EQ(children.size(), 3u);
    const AXElement h = t.desktop->element("h");
    EXPECT_EQ(children[0], h);
    EXPECT_EQ(t.get<std::string>(h, "AXRole"), "AXHeading");
    EXPECT_EQ(t.get<std::string>(h, "AXTitle"), "Title");
    EXPECT_EQ(t.get<int64_t>(h, "AXValue"), 2);
    const AXElement headingText = t.get<std::vector<AXElement>>(h, "AXChildren")->at(0);
    EXPECT_EQ(t.get<std::string>(headingText, "AXValue"), "Title");
    EXPECT_EQ(t.get<std::string>(children[1], "AXRole"), "AXStaticText");
    EXPECT_EQ(t.get<std::string>(children[1], "AXValue"), "First paragraph.");

    // Runs: one layout for the paragraph, one element per run; the link holds its own text.
    const AXElement p = t.desktop->element("p");
    EXPECT_EQ(t.error(p, "AXValue"), AXError::attributeUnsupported);
    const auto runs = *t.get<std::vector<AXElement>>(p, "AXChildren");
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(t.get<std::string>(runs[1], "AXRole"), "AXLink");
    EXPECT_EQ(t.get<AXURL>(runs[1], "AXURL"), AXURL { "https://x/y" });
    const AXElement linkText = t.get<std::vector<AXElement>>(runs[1], "AXChildren")->at(0);
    EXPECT_EQ(t.get<std::string>(linkText, "AXValue"), "this link");
    EXPECT_EQ(t.get<int64_t>(linkText, "AXNumberOfCharacters"), 9);
    EXPECT_EQ(t.get<std::string>(runs[2], "AXValue"), ".");
    // The runs continue one another on the line.
    Rect see = *t.bounds(runs[0], 3, 1), link = *t.bounds(linkText, 0, 1), dot = *t.bounds(runs[2], 0, 1);
    EXPECT_NEAR(see.maxX(), link.minX(), 0.01);
    EXPECT_EQ(see.minY(), link.minY());
    EXPECT_NEAR(t.bounds(linkText, 8, 1)->maxX(), dot.minX(), 0.01);
    EXPECT_TRUE(near(*t.get<Rect>(runs[1], "AXFrame"), *t.bounds(linkText, 0, 9)));
    // Headings are bold and larger than the body text.
    EXPECT_GT(t.get<Size>(headingText, "AXSize")->height, t.get<Size>(children[1], "AXSize")->height);
}

TEST(SimFixtureLoader, RunsNestInlineElementsAndBreakLinesWithoutACharacter)
{
    const std::string json = R"json({"applications": [{"pid": 9, "windows": [{"frame": [0, 0, 500, 400], "children": [
        {"role": "AXGroup", "name": "p", "runs": [
            "via ", {"link": "https://x/open", "runs": [{"role": "AXGroup", "runs": ["open()"]}]},
            " or ", {"role": "AXGroup", "runs": [{"text": "Request", "link": "https://x/r"}]},
            {"lineBreak": true}, "next line"]}
    ]}]}]})json";
    auto fixture = SimFixtureLoader::parse(json, "runs.json");
    ASSERT_TRUE(fixture) << fixture.error();
    PortsUnderTest t(SimDesktop::create(*fixture));
    const AXElement p = t.desktop->element("p");
    auto childrenOf = [&](const AXElement& e) { return *t.get<std::vector<AXElement>>(e, "AXChildren"); };
    auto roleOf = [&](const AXElement& e) { return *t.get<std::string>(e, "AXRole"); };
    const auto runs = childrenOf(p);
    ASSERT_EQ(runs.size(), 5u); // the line break is no element
    // A link around inline code, and inline code around a link.
    const AXElement code = childrenOf(runs[1]).at(0);
    EXPECT_EQ(roleOf(runs[1]), "AXLink");
    EXPECT_EQ(roleOf(code), "AXGroup");
    EXPECT_EQ(t.get<std::string>(childrenOf(code).at(0), "AXValue"), "open()");
    const AXElement innerLink = childrenOf(runs[3]).at(0);
    EXPECT_EQ(roleOf(runs[3]), "AXGroup");
    EXPECT_EQ(roleOf(innerLink), "AXLink");
    EXPECT_EQ(t.get<std::string>(childrenOf(innerLink).at(0), "AXValue"), "Request");
    // The break starts a new line but takes no character of the paragraph's ranges.
    const Rect request = *t.get<Rect>(runs[3], "AXFrame"), next = *t.get<Rect>(runs[4], "AXFrame");
    EXPECT_GE(next.minY(), request.maxY() - 0.01);
    EXPECT_EQ(t.parameterized<std::string>(p, "AXStringForRange", AXRange { 14, 13 }), "Requestnext l");
    EXPECT_TRUE(near(*t.bounds(p, 21, 4), *t.bounds(runs[4], 0, 4)));
    EXPECT_EQ(t.parameterized<int64_t>(p, "AXLineForIndex", int64_t { 21 }), 1);
    EXPECT_EQ(t.parameterized<AXRange>(p, "AXRangeForLine", int64_t { 1 }), (AXRange { 21, 9 }));
}

TEST(SimDemoDesktop, CompiledInTextIsTheFixtureFile)
{
    const std::string file = test::readFile(std::string(LORVANTINE_SOURCE_DIR) + "/tests/fixtures/demo-desktop.json");
    EXPECT_EQ(std::string(SimDemoFixture::json), file);
    auto fixture = SimFixtureLoader::parse(SimDemoFixture::json, "demo-desktop.json");
    ASSERT_TRUE(fixture) << fixture.error();
}

TEST(SimDemoDesktop, EnvironmentChoosesTheFixtureOrTheDemo)
{
    test::ScratchDirectory folder;
    test::writeFile(folder / "desk.json", R"({"applications": [{"pid": 77, "bundleID": "com.example.Env", "active": true}]})");
    std::string error;
    {
        test::ScopedEnvironment chosen("LORVANTINE_DESKTOP", (folder / "desk.json").string());
        auto fromFile = SimDesktop::fromEnvironment(error);
        ASSERT_NE(fromFile, nullptr) << error;
        EXPECT_EQ(fromFile->pidOf("com.example.Env"), 77);
        EXPECT_FALSE(fromFile->pidOf("com.apple.Safari"));
    }
    {
        test::ScopedEnvironment missing("LORVANTINE_DESKTOP", "/nonexistent.json");
        EXPECT_EQ(SimDesktop::fromEnvironment(error), nullptr);
        EXPECT_EQ(error, "/nonexistent.json: cannot be read");
    }
    test::ScopedEnvironment unset("LORVANTINE_DESKTOP", std::nullopt);
    auto demo = SimDesktop::fromEnvironment(error);
    ASSERT_NE(demo, nullptr);
    EXPECT_EQ(demo->pidOf("com.apple.Safari"), 501);
}

// Depth-first search for the first element with `role`, with its depth below `start`.
std::optional<std::pair<AXElement, int>> findRole(PortsUnderTest& t, const AXElement& start, const std::string& role,
                                                  int depth = 0)
{
    if (t.get<std::string>(start, "AXRole") == role)
        return std::make_pair(start, depth);
    for (const auto& child : t.get<std::vector<AXElement>>(start, "AXChildren").value_or(std::vector<AXElement> {}))
        if (auto found = findRole(t, child, role, depth + 1))
            return found;
    return std::nullopt;
}

TEST(SimDemoDesktop, SafariShowsAnArticleInAWebAreaOfItsFrontWindow)
{
    PortsUnderTest t(SimDesktop::demo());
    const AXElement safari { 501, 0 };
    EXPECT_EQ(t.get<AXElement>(t.ax().systemWideElement(), "AXFocusedApplication"), safari);
    auto windows = *t.get<std::vector<AXElement>>(safari, "AXWindows");
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(t.get<std::string>(windows[0], "AXTitle"), "Slow Reading in a Fast World");

    auto web = findRole(t, windows[0], "AXWebArea");
    ASSERT_TRUE(web);
    EXPECT_LE(web->second, 8);
    EXPECT_EQ(t.get<std::string>(web->first, "AXDescription"), "Slow Reading in a Fast World");
    auto heading = findRole(t, web->first, "AXHeading");
    ASSERT_TRUE(heading);
    EXPECT_EQ(t.get<std::string>(heading->first, "AXTitle"), "Slow Reading in a Fast World");

    // Every text of the article lies inside the window and inside the screen's width.
    const Rect windowFrame = *t.get<Rect>(windows[0], "AXFrame");
    std::vector<std::string> texts;
    std::function<void(const AXElement&)> walk = [&](const AXElement& e) {
        if (t.get<std::string>(e, "AXRole") == "AXStaticText") {
            texts.push_back(*t.get<std::string>(e, "AXValue"));
            Rect f = *t.get<Rect>(e, "AXFrame");
            EXPECT_GE(f.minX(), windowFrame.minX());
            EXPECT_LE(f.maxX(), windowFrame.maxX());
            EXPECT_GE(f.minY(), windowFrame.minY());
        }
        for (const auto& child : t.get<std::vector<AXElement>>(e, "AXChildren").value_or(std::vector<AXElement> {}))
            walk(child);
    };
    walk(web->first);
    ASSERT_GE(texts.size(), 8u);
    auto has = [&](const std::string& needle) {
        return std::any_of(texts.begin(), texts.end(), [&](const std::string& s) { return s.find(needle) != std::string::npos; });
    };
    EXPECT_TRUE(has("慢读"));
    EXPECT_TRUE(has("📚"));
    EXPECT_TRUE(has("research on attention"));

    const AXElement textEdit { 502, 0 };
    auto focused = t.get<AXElement>(textEdit, "AXFocusedUIElement");
    ASSERT_TRUE(focused);
    EXPECT_EQ(t.get<std::string>(*focused, "AXRole"), "AXTextArea");
    EXPECT_EQ(t.get<AXRange>(*focused, "AXSelectedTextRange"), (AXRange { 0, 0 }));
}

} // namespace
} // namespace lorvantine
