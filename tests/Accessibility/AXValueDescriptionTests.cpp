#include "Accessibility/AXValueDescription.h"

#include <gtest/gtest.h>

namespace lorvantine {
namespace {

TEST(AXValueDescription, EveryKindOfValueHasOnePrintedForm)
{
    const AXAttributedString attributed { "Hi", { AXAttributeRun { AXRange { 0, 2 }, { { "AXLanguage", "en" }, { "AXFontName", "DejaVu Sans" } } },
                                                  AXAttributeRun { AXRange { 2, 0 }, {} } } };
    const std::vector<std::pair<AXValue, std::string>> cases {
        { std::monostate {}, "<null>" },
        { true, "true" },
        { false, "false" },
        { int64_t { -42 }, "-42" },
        { 12.0, "12.0" },
        { 0.1, "0.1" },
        { std::string("plain text"), "plain text" },
        { AXURL { "https://example.org/a" }, "https://example.org/a" },
        { Point { 10, 20.5 }, "(10.0, 20.5)" },
        { Size { 300, 40 }, "(300.0, 40.0)" },
        { Rect(1.5, -2, 3, 0), "(1.5, -2.0, 3.0, 0.0)" },
        { AXRange { 3, 7 }, "{3, 7}" },
        { AXElement { 700, 12 }, "<AXUIElement pid=700 node=12>" },
        { std::vector<AXElement> { { 700, 1 }, { 700, 2 } }, "[<AXUIElement pid=700 node=1>, <AXUIElement pid=700 node=2>]" },
        { std::vector<AXElement> {}, "[]" },
        { std::vector<std::string> { "AXPress", "AXShowMenu" }, "[\"AXPress\", \"AXShowMenu\"]" },
        { attributed, "\"Hi\" {0, 2} {AXFontName=DejaVu Sans; AXLanguage=en} {2, 0} {}" },
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(AXValueDescription::describe(value), text);
}

TEST(AXValueDescription, ErrorsAreNamedAsThePlatformNamesThem)
{
    EXPECT_EQ(AXValueDescription::errorName(AXError::success), "success");
    EXPECT_EQ(AXValueDescription::errorName(AXError::failure), "failure");
    EXPECT_EQ(AXValueDescription::errorName(AXError::parameterizedAttributeUnsupported), "parameterizedAttributeUnsupported");
    EXPECT_EQ(AXValueDescription::errorName(AXError::notEnoughPrecision), "notEnoughPrecision");
    EXPECT_EQ(AXValueDescription::errorName(static_cast<AXError>(-25199)), std::nullopt);
    EXPECT_EQ(AXValueDescription::errorName(static_cast<AXError>(1)), std::nullopt);
}

} // namespace
} // namespace lorvantine
