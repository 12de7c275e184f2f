#include "Documents/NotesSource.h"

#include "Accessibility/AXReader.h"
#include "Accessibility/NativeDocumentParser.h"
#include "Documents/NativeDocumentSession.h"
#include "Documents/PageWords.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <algorithm>

namespace lorvantine::NotesSource {

namespace {

constexpr const char* notesBundleID = "com.apple.Notes";
constexpr const char* untitledNote = "备忘录";
constexpr int parseDepth = 20;
constexpr int dumpDepth = 3;
constexpr size_t loggedParagraphs = 5;

std::string notesRole(const AXElement& element) { return AXReader::attribute(element, "AXRole").value_or(""); }

// What the body looks like, for telling from a user's log why a note read oddly.
void dumpChildren(const AXElement& element, const std::string& prefix, int depth)
{
    if (depth > dumpDepth)
        return;
    for (const AXElement& child : AXReader::rawChildren(element)) {
        std::string line = "[NotesSource] " + prefix + AXReader::attribute(child, "AXRole").value_or("?");
        if (auto value = AXReader::attribute(child, "AXValue"); value && !value->empty())
            line += " val=\"" + Text::characterPrefix(*value, 40) + "\"";
        Log::line(line);
        dumpChildren(child, prefix + "  ", depth + 1);
    }
}

void logParagraph(const ReadableParagraph& paragraph)
{
    using PageWords::truncated;
    const Rect& f = paragraph.frame;
    Log::line("[NotesSource] para[" + std::to_string(paragraph.index) + "] frame=(" + truncated(f.minX()) + ","
              + truncated(f.minY()) + " " + truncated(f.width()) + "×" + truncated(f.height()) + ") text=\""
              + Text::characterPrefix(paragraph.text, 50) + "\"");
}

} // namespace

const std::vector<std::string>& supportedBundleIDs()
{
    static const std::vector<std::string> identifiers { notesBundleID };
    return identifiers;
}

std::optional<AXElement> findChild(const AXElement& element, const std::string& role)
{
    for (const AXElement& child : AXReader::rawChildren(element)) {
        if (notesRole(child) == role)
            return child;
        for (const AXElement& grandchild : AXReader::rawChildren(child))
            if (notesRole(grandchild) == role)
                return grandchild;
    }
    return std::nullopt;
}

std::optional<AXElement> findContentArea(const AXElement& window)
{
    const auto split = findChild(window, "AXSplitGroup");
    if (!split) {
        Log::line("[NotesSource] AXSplitGroup 未找到");
        for (const AXElement& child : AXReader::rawChildren(window))
            Log::line("[NotesSource]   窗口子元素: " + AXReader::attribute(child, "AXRole").value_or("?"));
        return std::nullopt;
    }
    std::vector<std::pair<AXElement, double>> scrollAreas;
    for (const AXElement& child : AXReader::rawChildren(*split)) {
        const std::string role = notesRole(child);
        Log::line("[NotesSource]   SplitGroup 子元素: " + role);
        if (role != "AXScrollArea")
            continue;
        if (auto position = AXReader::position(child))
            scrollAreas.emplace_back(child, position->x);
    }
    Log::line("[NotesSource] 找到 " + std::to_string(scrollAreas.size()) + " 个 AXScrollArea");
    std::stable_sort(scrollAreas.begin(), scrollAreas.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    if (scrollAreas.empty())
        return std::nullopt;
    return scrollAreas.front().first;
}

std::shared_ptr<DocumentSession> detect(const std::string& bundleID)
{
    const auto& ids = supportedBundleIDs();
    if (std::find(ids.begin(), ids.end(), bundleID) == ids.end())
        return nullptr;
    const auto window = AXReader::frontWindowOf(bundleID);
    if (!window)
        return nullptr;
    const std::string title = AXReader::attribute(*window, "AXTitle").value_or(untitledNote);

    AXElement content = *window;
    if (auto area = findContentArea(*window)) {
        Log::line("[NotesSource] 找到内容区域");
        content = *area;
    } else {
        Log::line("[NotesSource] 未找到内容区域，回退到整个窗口");
    }
    Log::line("[NotesSource] 内容区子元素:");
    dumpChildren(content, "  ", 0);

    const auto merged = NativeDocumentParser::extractParagraphs(content, bundleID, parseDepth);
    if (!merged || merged->empty()) {
        Log::line("[NotesSource] extractParagraphs 返回空");
        return nullptr;
    }
    auto session = std::make_shared<NativeDocumentSession>(title, *window, *merged);
    const auto paragraphs = session->paragraphs();
    for (size_t i = 0; i < std::min(loggedParagraphs, paragraphs.size()); ++i)
        logParagraph(paragraphs[i]);
    return session;
}

DocumentSource source()
{
    return DocumentSource { .name = "NotesSource", .priority = priority, .supportedBundleIDs = supportedBundleIDs(), .detect = detect };
}

} // namespace lorvantine::NotesSource
