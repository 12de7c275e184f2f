#pragma once

#include "Platform/AccessibilityPort.h"
#include "SimDesktop/SimDesktop.h"
#include "Support/Text.h"
#include "TestSupport/ProbeCountingAccessibility.h"

#include <gtest/gtest.h>

#include <string>

namespace lorvantine::test {

// The reader fixture (tests/fixtures/highlight-reader.json) installed behind a probe-counting
// accessibility port for the test's life.
class HighlightDesktopTest : public ::testing::Test {
protected:
    std::shared_ptr<SimDesktop> desktop = load();
    std::shared_ptr<ProbeCountingAccessibility> probes;
    Platform::ScopedServices services { wrapped() };

    static std::shared_ptr<SimDesktop> load()
    {
        std::string error;
        auto loaded = SimDesktop::load(LORVANTINE_SOURCE_DIR "/tests/fixtures/highlight-reader.json", error);
        EXPECT_TRUE(loaded) << error;
        return loaded ? loaded : SimDesktop::create();
    }

    PlatformServices wrapped()
    {
        auto [services, port] = ProbeCountingAccessibility::wrap(desktop->services());
        probes = port;
        return services;
    }

    AXElement element(const std::string& name)
    {
        AXElement found = desktop->element(name);
        EXPECT_FALSE(found.isNull()) << name;
        return found;
    }

    Rect frameOf(const std::string& name) { return desktop->frameOf(element(name)).value_or(Rect()); }

    std::string textOf(const AXElement& el)
    {
        AXValue value;
        Platform::accessibility().copyAttributeValue(el, AXName::value, value);
        const std::string* text = axGet<std::string>(value);
        return text ? *text : std::string();
    }

    // The UTF-16 offset of the first occurrence of `needle` in the element's text.
    int utf16Offset(const AXElement& el, const std::string& needle)
    {
        const std::string text = textOf(el);
        const size_t at = text.find(needle);
        EXPECT_NE(at, std::string::npos) << needle;
        return static_cast<int>(Text::utf16OffsetFromByteOffset(text, at));
    }

    // The layout line of a UTF-16 index, as the element reports it.
    int64_t lineOf(const AXElement& el, int index)
    {
        AXValue value;
        Platform::accessibility().copyParameterizedAttributeValue(el, AXName::lineForIndex, int64_t { index }, value);
        const int64_t* line = axGet<int64_t>(value);
        EXPECT_TRUE(line) << index;
        return line ? *line : -1;
    }
};

// Geometry from the layout is fractional; the measured rectangles must agree with it closely.
inline void expectNear(const Rect& actual, const Rect& expected, const char* what = "")
{
    EXPECT_NEAR(actual.minX(), expected.minX(), 0.01) << what;
    EXPECT_NEAR(actual.minY(), expected.minY(), 0.01) << what;
    EXPECT_NEAR(actual.width(), expected.width(), 0.01) << what;
    EXPECT_NEAR(actual.height(), expected.height(), 0.01) << what;
}

} // namespace lorvantine::test
