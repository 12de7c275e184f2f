#include "Documents/PDFgearSource.h"

#include "Accessibility/AXReader.h"
#include "Documents/PDFViewerSource.h"
#include "Support/Text.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace lorvantine::PDFgearSource {

namespace {

constexpr int pdfgearTextDepth = 20;
constexpr size_t pdfgearMinimumLength = 3;
constexpr size_t pdfgearShortNumberLength = 4;
constexpr double pdfgearMinimumWidth = 100;
constexpr double pdfgearMinimumHeight = 4;

void collectParagraphs(const AXElement& element, std::vector<ArticleParagraph>& paragraphs, int depth, bool inPage)
{
    if (depth > pdfgearTextDepth)
        return;
    const auto role = AXReader::attribute(element, "AXRole").value_or("");
    // Tables hold the viewer's own lists (outline, thumbnails), not the document.
    if (role == "AXTable" || role == "AXScrollBar")
        return;
    inPage = inPage || role == "AXPage";
    if (role == "AXStaticText" && inPage) {
        PDFViewerSource::appendTextParagraph(element, paragraphs);
        return;
    }
    for (const AXElement& child : AXReader::rawChildren(element))
        collectParagraphs(child, paragraphs, depth + 1, inPage);
}

// Page numbers and the like: a signed decimal integer of under four Characters.
bool isShortNumber(const std::string& text)
{
    if (Text::characterCount(text) >= pdfgearShortNumberLength)
        return false;
    const std::string trimmed = Text::trimmingWhitespaces(text);
    size_t start = trimmed.starts_with('+') || trimmed.starts_with('-') ? 1 : 0;
    if (start == trimmed.size())
        return false;
    return std::all_of(trimmed.begin() + static_cast<std::ptrdiff_t>(start), trimmed.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

bool isPDFgearText(const ArticleParagraph& paragraph)
{
    return Text::characterCount(paragraph.text) >= pdfgearMinimumLength && paragraph.frame.width() > pdfgearMinimumWidth
        && paragraph.frame.height() > pdfgearMinimumHeight && !isShortNumber(paragraph.text);
}

bool isURLCharacter(unsigned char c)
{
    if (std::isalnum(c))
        return true;
    return c != 0 && std::strchr("-._~:/?#[]@!$&'()*+,;=%", c) != nullptr;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// None when `text` is not a URL: empty, a character a URL cannot hold, a stray "%", a bad scheme.
std::optional<std::string> urlPath(const std::string& text)
{
    if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return isURLCharacter(static_cast<unsigned char>(c)); }))
        return std::nullopt;
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '%' && (i + 2 >= text.size() || hexValue(text[i + 1]) < 0 || hexValue(text[i + 2]) < 0))
            return std::nullopt;
    std::string rest = text;
    const auto schemeEnd = rest.find_first_of(":/?#");
    if (schemeEnd != std::string::npos && rest[schemeEnd] == ':') {
        const std::string scheme = rest.substr(0, schemeEnd);
        if (scheme.empty() || !std::isalpha(static_cast<unsigned char>(scheme[0]))
            || !std::all_of(scheme.begin(), scheme.end(),
                            [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.'; }))
            return std::nullopt;
        rest = rest.substr(schemeEnd + 1);
    }
    if (rest.starts_with("//")) {
        const auto authorityEnd = rest.find_first_of("/?#", 2);
        rest = authorityEnd == std::string::npos ? std::string() : rest.substr(authorityEnd);
    }
    return rest.substr(0, rest.find_first_of("?#"));
}

std::string percentDecoded(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    // Escapes that do not spell UTF-8 are shown as they stand rather than as broken text.
    return Text::isValidUtf8(out) ? out : text;
}

} // namespace

std::string documentTitle(const std::string& url)
{
    auto path = urlPath(url);
    if (!path)
        return "PDF";
    while (!path->empty() && path->back() == '/')
        path->pop_back();
    const std::string name = path->substr(path->find_last_of('/') == std::string::npos ? 0 : path->find_last_of('/') + 1);
    // A URL without a file name (a root, a bare host) would title the document "/" or nothing.
    return name.empty() ? "PDF" : percentDecoded(name);
}

const std::vector<std::string>& supportedBundleIDs()
{
    static const std::vector<std::string> identifiers { "com.pdfeditor.pdfeditormac" };
    return identifiers;
}

std::shared_ptr<DocumentSession> detect(const std::string& bundleID)
{
    const auto& ids = supportedBundleIDs();
    if (std::find(ids.begin(), ids.end(), bundleID) == ids.end())
        return nullptr;
    auto window = AXReader::frontWindowOf(bundleID);
    if (!window)
        return nullptr;
    auto title = AXReader::attribute(*window, "AXTitle").value_or("");
    if (title.empty())
        title = documentTitle(AXReader::attribute(*window, "AXDocument").value_or(""));
    title = PDFViewerSource::titleBeforeEditMark(title);
    std::vector<ArticleParagraph> paragraphs;
    collectParagraphs(*window, paragraphs, 0, false);
    return PDFViewerSource::session(std::move(title), *window, std::move(paragraphs), isPDFgearText);
}

DocumentSource source()
{
    return DocumentSource { .name = "PDFgearSource", .priority = priority, .supportedBundleIDs = supportedBundleIDs(), .detect = detect };
}

} // namespace lorvantine::PDFgearSource
