#include "SimDesktop/Model/SimFixtureLoader.h"

#include <gtest/gtest.h>

namespace lorvantine {
namespace {

std::string windowWith(const std::string& window, const std::string& element = "{ \"role\": \"AXGroup\" }")
{
    return R"({ "applications": [{ "windows": [{ "frame": [0, 0, 100, 100], )" + window + R"( "children": [)" + element
        + "] }] }] }";
}

TEST(PixelFixtureKeys, AreReadIntoTheFixture)
{
    auto fixture = SimFixtureLoader::parse(
        R"({ "captureTool": "cannotStart", "recognitionNoise": { "typoRate": 0.25, "mergeRate": 0.5, "splitRate": 1, "seed": 9 },
             "applications": [{ "windows": [{ "frame": [0, 0, 100, 100], "background": "#102030",
               "children": [{ "role": "AXImage", "imageOnly": true, "colour": "#AABBCC80", "background": "#ffffff" }] }] }] })",
        "pixels.json");
    ASSERT_TRUE(fixture) << fixture.error();
    EXPECT_EQ(fixture->captureTool, SimCaptureTool::cannotStart);
    EXPECT_EQ(fixture->recognitionNoise.mergeRate, 0.5);
    EXPECT_EQ(fixture->recognitionNoise.splitRate, 1);
    const SimWindow& window = fixture->applications[0].windows[0];
    EXPECT_EQ(window.background, 0xFF102030u);
    const SimElement& image = window.children[0];
    EXPECT_TRUE(image.imageOnly);
    EXPECT_EQ(image.colour, 0x80AABBCCu);
    EXPECT_EQ(image.background, 0xFFFFFFFFu);
}

TEST(PixelFixtureKeys, FaultsNameTheirPlace)
{
    struct Case {
        std::string json;
        std::string fault;
    };
    const Case cases[] = {
        { windowWith(R"("background": "red",)"),
          "f.json: /applications/0/windows/0/background: expected a colour \"#RRGGBB\" or \"#RRGGBBAA\"" },
        { windowWith("", R"({ "role": "AXGroup", "colour": "#12345" })"),
          "f.json: /applications/0/windows/0/children/0/colour: expected a colour \"#RRGGBB\" or \"#RRGGBBAA\"" },
        { windowWith("", R"({ "role": "AXGroup", "background": 255 })"),
          "f.json: /applications/0/windows/0/children/0/background: expected a string, found an integer" },
        { windowWith("", R"({ "role": "AXGroup", "imageOnly": "yes" })"),
          "f.json: /applications/0/windows/0/children/0/imageOnly: expected true or false, found a string" },
        { R"({ "captureTool": "broken" })",
          "f.json: /captureTool: unknown value \"broken\" (expected one of available, cannotStart)" },
        { R"({ "recognitionNoise": { "typoRate": 1.5 } })", "f.json: /recognitionNoise/typoRate: expected a chance from 0 to 1" },
        { R"({ "recognitionNoise": { "seed": -1 } })", "f.json: /recognitionNoise/seed: must not be negative" },
        { R"({ "recognitionNoise": { "typos": 1 } })", "f.json: /recognitionNoise/typos: unknown key \"typos\"" },
    };
    for (const Case& c : cases) {
        auto fixture = SimFixtureLoader::parse(c.json, "f.json");
        ASSERT_FALSE(fixture) << c.json;
        EXPECT_EQ(fixture.error(), c.fault);
    }
}

} // namespace
} // namespace lorvantine
