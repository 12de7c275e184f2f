#include "Accessibility/ArticleParser.h"
#include "FuzzCheck.h"
#include "Platform/Services.h"
#include "SimDesktop/SimDesktop.h"
#include "SimDesktop/Model/SimFixtureLoader.h"
#include "Support/Log.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <sstream>
#include <string>
#include <string_view>

using namespace lorvantine;

namespace {

constexpr std::array<const char*, 3> bundleIDs { "com.tencent.xinWeChat", "com.apple.Safari", "com.google.Chrome" };
constexpr std::array<const char*, 16> roles { "AXStaticText", "AXGroup", "AXStaticText", "AXHeading", "AXLink", "AXGroup",
                                              "AXTable", "AXListItem", "AXTableRow", "AXSection", "AXListMarker", "AXButton",
                                              "AXImage", "AXWebArea", "AXScrollBar", "AXCell" };
constexpr std::array<const char*, 8> attributeNames { "AXRole", "AXChildren", "AXValue", "AXFrame",
                                                      "AXPosition", "AXSize", "AXTitle", "AXDescription" };
constexpr std::array<AXError, 4> errors { AXError::cannotComplete, AXError::invalidUIElement, AXError::noValue, AXError::apiDisabled };
constexpr int depthLimit = 40;
constexpr int elementLimit = 400;

// The fuzz bytes read as a tree: each element is a role byte, a flag byte and what the flags ask
// for; reading past the end gives zeros.
class TreeReader {
public:
    explicit TreeReader(std::string_view bytes) : m_bytes(bytes) {}

    bool atEnd() const { return m_at >= m_bytes.size(); }
    uint8_t byte() { return atEnd() ? 0 : static_cast<uint8_t>(m_bytes[m_at++]); }
    std::string text()
    {
        const size_t wanted = byte() % 64;
        const size_t length = std::min(wanted, m_bytes.size() - std::min(m_at, m_bytes.size()));
        std::string piece(m_bytes.substr(m_at, length));
        m_at += length;
        return piece;
    }
    double coordinate() { return static_cast<int8_t>(byte()) * 8.0; }
    double extent() { return byte() * 4.0; }

    SimElement element(int depth, int& count)
    {
        SimElement e(roles[byte() % roles.size()]);
        e.name = "e" + std::to_string(count++);
        const uint8_t flags = byte();
        if (flags & 0x01)
            e.attributes["AXValue"] = text();
        if (flags & 0x02) {
            const double x = coordinate(), y = coordinate(), width = extent(), height = extent();
            e.frame(Rect(x, y, width, height));
        }
        if (flags & 0x04) {
            const char* name = byte() & 1 ? "AXTitle" : "AXDescription";
            e.attributes[name] = text();
        }
        if (flags & 0x08) {
            const char* name = attributeNames[byte() % attributeNames.size()];
            e.errors[name] = errors[byte() % errors.size()];
        }
        if (flags & 0x10) {
            const char* name = attributeNames[byte() % attributeNames.size()];
            e.attributes[name] = oddValue();
        }
        if (flags & 0x20) {
            // Children that are elements met before, this one and its ancestors among them.
            SimElement::Reference reference { {}, true };
            for (int i = byte() % 3; i >= 0; --i)
                reference.names.push_back("e" + std::to_string(byte() % count));
            e.references["AXChildren"] = reference;
        }
        if (flags & 0x40) {
            for (int i = byte() % 6; i > 0 && depth < depthLimit && count < elementLimit && !atEnd(); --i)
                e.children.push_back(element(depth + 1, count));
        }
        return e;
    }

private:
    // A value of a type the reader does not expect, or a geometry no screen has.
    AXValue oddValue()
    {
        constexpr double nan = std::numeric_limits<double>::quiet_NaN();
        constexpr double infinity = std::numeric_limits<double>::infinity();
        switch (byte() % 7) {
        case 0: return int64_t { byte() };
        case 1: return 2.5;
        case 2: return std::vector<std::string> { text() };
        case 3: return Rect(nan, 0, 100, 20);
        case 4: return Rect(0, 0, infinity, -infinity);
        case 5: return Size { -1, nan };
        default: return std::monostate {};
        }
    }

    std::string_view m_bytes;
    size_t m_at = 0;
};

// A header byte (application, window title and place, web area depth) and the web area's
// content.
SimFixture decodeTree(std::string_view bytes)
{
    TreeReader in(bytes);
    const uint8_t header = in.byte();

    SimElement webArea("AXWebArea");
    webArea.name = "web-area";
    webArea.at({ 0, 0 }).sized(800);
    if (header & 0x10)
        webArea.attributes["AXDescription"] = in.text();
    int count = 0;
    while (!in.atEnd() && count < elementLimit)
        webArea.children.push_back(in.element(1, count));
    for (int wrappers = header >> 5; wrappers > 0; --wrappers)
        webArea = SimElement("AXGroup").child(std::move(webArea));

    SimWindow window;
    window.number = 42;
    window.title = header & 0x04 ? "Article (Page: 1)" : "Article";
    window.frame = header & 0x08 ? Rect(-900, 50, 800, 700) : Rect(100, 50, 800, 700);
    window.main = true;
    window.children.push_back(std::move(webArea));
    SimApplication app;
    app.pid = 700;
    app.bundleIdentifier = bundleIDs[header % bundleIDs.size()];
    app.active = true;
    app.windows.push_back(std::move(window));
    SimFixture fixture;
    fixture.applications.push_back(std::move(app));
    return fixture;
}

} // namespace

// A desktop from the fuzz bytes (a fixture file when they start with "{", else a tree read from
// them): the capture gives ordered, finite, non-empty paragraphs or nothing, and never loops;
// the diagnostic dump of the same tree ends too.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Log::Capture quiet;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    SimFixture fixture;
    if (bytes.starts_with("{")) {
        auto loaded = SimFixtureLoader::parse(bytes, "fuzz.json");
        if (!loaded)
            return 0;
        fixture = std::move(*loaded);
    } else {
        fixture = decodeTree(bytes);
    }
    auto desktop = SimDesktop::create(fixture);
    Platform::ScopedServices scoped(desktop->services());

    auto captured = ArticleParser::captureArticle(std::nullopt);
    if (captured) {
        double top = -std::numeric_limits<double>::infinity();
        for (size_t i = 0; i < captured->paragraphs.size(); ++i) {
            const ArticleParagraph& p = captured->paragraphs[i];
            fuzz::check(p.index == static_cast<int>(i) && !p.text.empty(), "paragraphs are numbered and hold text");
            fuzz::check(std::isfinite(p.frame.minX()) && std::isfinite(p.frame.minY()) && std::isfinite(p.frame.width())
                            && std::isfinite(p.frame.height()),
                        "every frame is finite");
            fuzz::check(p.frame.minY() >= top, "paragraphs run top to bottom");
            top = p.frame.minY();
        }
        (void)ArticleParser::currentArticleTitle(captured->window);
    }
    std::ostringstream dump;
    ArticleParser::dumpArticleTree(dump);
    return 0;
}
