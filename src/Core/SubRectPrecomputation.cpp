#include "Core/SubRectPrecomputation.h"

#include "Accessibility/AXReader.h"
#include "Core/HighlightGeometry.h"
#include "Documents/VisionOCR.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Support/Log.h"
#include "Support/Text.h"
#include "Support/Utf16Offsets.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace lorvantine::SubRectPrecomputation {

namespace {

using HighlightGeometry::LastInParagraph;

constexpr int alignmentLogUnits = 3;
constexpr int emptyUnitWarnings = 3;

// A number for the log, truncated toward zero.
std::string whole(double value)
{
    if (!std::isfinite(value))
        return "0";
    return std::to_string(static_cast<long long>(std::clamp(std::trunc(value), -9.0e18, 9.0e18)));
}

std::string rectText(const Rect& r)
{
    return whole(r.minX()) + "," + whole(r.minY()) + " " + whole(r.width()) + "×" + whole(r.height());
}

Publication skipped(uint64_t generation, const std::string& line)
{
    Log::line(line);
    Publication publication;
    publication.form = Publication::Form::empty;
    publication.generation = generation;
    return publication;
}

Publication fromRecognisedWords(const Request& request, const std::vector<OCRWordEntry>& words)
{
    const std::string tag = "[SubHL] para[" + std::to_string(request.paraIdx) + "]";
    Log::line(tag + " OCR path: units=" + std::to_string(request.units.size()) + " words=" + std::to_string(words.size()));

    Publication publication;
    publication.form = Publication::Form::recognisedWords;
    publication.generation = request.generation;
    int empty = 0;
    int nonEmpty = 0;
    for (size_t k = 0; k < request.units.size(); ++k) {
        const auto& range = request.units[k].charRange;
        std::vector<Rect> rects = VisionOCR::lookupRects(words, range.lower, range.upper);
        if (rects.empty()) {
            if (++empty <= emptyUnitWarnings)
                Log::line("[SubHL] ⚠ unit[" + std::to_string(k) + "] charRange=" + std::to_string(range.lower) + "..<"
                          + std::to_string(range.upper) + " → 0 rects (OCR words range: "
                          + std::to_string(words.front().charStart) + "..." + std::to_string(words.back().charEnd) + ")");
        } else {
            ++nonEmpty;
        }
        publication.table[static_cast<int>(k)] = std::move(rects);
    }
    Log::line(tag + " OCR done: " + std::to_string(publication.table.size()) + " entries, " + std::to_string(nonEmpty)
              + " non-empty, " + std::to_string(empty) + " empty");
    return publication;
}

void logAlignment(const AXElement& element, size_t k, SubHighlightUnit::CharRange range, int u16Lower, int u16Upper,
                  int axLocation, int axLength, const std::vector<std::string>& characters)
{
    const int count = static_cast<int>(characters.size());
    std::string expected;
    for (int c = std::clamp(range.lower, 0, count); c < std::clamp(range.upper, 0, count); ++c)
        expected += characters[static_cast<size_t>(c)];
    const auto actual = AXReader::stringForRange(element, axLocation, axLength);
    const char* mark = actual && *actual == expected ? "✓" : "✗";
    Log::line("[SubHL:align] unit[" + std::to_string(k) + "] grapheme=" + std::to_string(range.lower) + "..<"
              + std::to_string(range.upper) + " u16=" + std::to_string(u16Lower) + "..<" + std::to_string(u16Upper)
              + " AX loc=" + std::to_string(axLocation) + " len=" + std::to_string(axLength) + " " + mark
              + "\n  expected=\"" + Text::characterPrefix(expected, 30) + "\"\n  actual  =\""
              + (actual ? Text::characterPrefix(*actual, 30) : std::string("<nil>")) + "\"");
}

// How the paragraph's Characters are found in the element's text when the two differ.
struct Alignment {
    // Per paragraph Character, its Character index in `reference`, or -1.
    std::optional<std::vector<int>> mapping;
    // The text the mapped indices count in.
    std::string reference;
    // UTF-16 units the element's text starts before the paragraph's.
    int shift = 0;
};

Alignment alignWithElement(const AXElement& element, const ArticleParagraph& paragraph)
{
    Alignment alignment;
    const size_t textCount = Text::characterCount(paragraph.text);
    auto adopt = [&](std::vector<int> mapping, std::string reference) {
        if (mapping.size() == textCount) {
            alignment.mapping = std::move(mapping);
            alignment.reference = std::move(reference);
        }
    };

    const auto characterCount = AXReader::numberOfCharacters(element);
    if (characterCount && *characterCount >= 1 && *characterCount <= 9999) {
        auto elementText = AXReader::stringForRange(element, 0, *characterCount);
        if (elementText && Text::characterCount(*elementText) != textCount) {
            adopt(HighlightGeometry::buildIndexMapping(paragraph.text, *elementText), *elementText);
            return alignment;
        }
    }
    if (paragraph.axFullText && Text::characterCount(*paragraph.axFullText) != textCount) {
        adopt(HighlightGeometry::buildIndexMapping(paragraph.text, *paragraph.axFullText), *paragraph.axFullText);
        return alignment;
    }

    std::vector<HighlightGeometry::StaticTextChild> statics;
    HighlightGeometry::collectStaticTextChildren(element, statics, 0);
    std::string joined;
    for (const auto& child : statics)
        joined += child.text;
    if (!joined.empty() && Text::characterCount(joined) != textCount) {
        const std::vector<std::string> text = Text::characters(paragraph.text);
        const std::vector<std::string> target = Text::characters(joined);
        std::vector<int> mapping(text.size(), -1);
        size_t j = 0;
        for (size_t i = 0; i < text.size() && j < target.size(); ++i) {
            if (text[i] == target[j])
                mapping[i] = static_cast<int>(j++);
        }
        alignment.mapping = std::move(mapping);
        alignment.reference = std::move(joined);
        return alignment;
    }

    if (!characterCount) {
        for (const AXElement& child : AXReader::rawChildren(element)) {
            if (AXReader::attribute(child, AXName::role) != "AXStaticText")
                continue;
            if (auto childRect = AXReader::boundsForRange(child, 0, 1)) {
                for (int c = 0; c < 10; ++c) {
                    auto r = AXReader::boundsForRange(element, c, 1);
                    if (r && std::fabs(r->minX() - childRect->minX()) < 3 && std::fabs(r->minY() - childRect->minY()) < 3) {
                        alignment.shift = c;
                        break;
                    }
                }
            }
            break;
        }
    }
    return alignment;
}

} // namespace

std::optional<Publication> precomputeSubRects(const Request& request)
{
    const int i = request.paraIdx;
    const std::string index = std::to_string(i);
    const std::string tag = "[SubHL] para[" + index + "]";
    const uint64_t generation = request.generation;

    if (!request.paragraph)
        return skipped(generation, tag + " skip: out of bounds");
    const ArticleParagraph& paragraph = *request.paragraph;
    const std::vector<SubHighlightUnit>& units = request.units;

    if (paragraph.ocrWordBboxes && !paragraph.ocrWordBboxes->empty())
        return fromRecognisedWords(request, *paragraph.ocrWordBboxes);
    if (!paragraph.element)
        return skipped(generation, tag + " skip: no element");
    if (paragraph.boundsDisabled)
        return skipped(generation, tag + " skip: boundsDisabled");

    const AXElement& element = *paragraph.element;
    const std::optional<int> nco = paragraph.nativeCharOffset;
    const Rect& frame = paragraph.frame;

    auto position = AXReader::position(element);
    auto size = AXReader::size(element);
    if (position && size && size->height < 0.5 * frame.height() && !nco)
        return skipped(generation, tag + " skip: merged paragraph (elH=" + whole(size->height) + " < frameH*0.5="
                                       + whole(frame.height() * 0.5) + ")");

    Rect paraRect;
    int location = 0;
    if (!nco) {
        position = AXReader::position(element);
        size = AXReader::size(element);
        if (!position || !size)
            return std::nullopt;
        const Rect elementRect(*position, *size);
        if (paragraph.tightFrameYOffset && paragraph.tightFrameHeight)
            paraRect = Rect(elementRect.minX(), elementRect.minY() + *paragraph.tightFrameYOffset, frame.width(),
                            *paragraph.tightFrameHeight);
        else
            paraRect = elementRect;
    } else {
        location = *nco;
        auto first = AXReader::boundsForRange(element, location, 1);
        if (!first) {
            paraRect = frame;
        } else {
            const auto elementSize = AXReader::size(element);
            if ((elementSize && 0.9 * elementSize->height < first->height())
                || std::fabs(first->minY() - frame.minY()) > 3 * frame.height() + 200)
                return skipped(generation, "[ArticleReader] BoundsForRange anomalous for para " + index + ": bounds y="
                                               + whole(first->minY()) + " h=" + whole(first->height()) + " vs frame y="
                                               + whole(frame.minY()) + ", skipping sub-highlight");
            double height = frame.height();
            const auto utf16Length = static_cast<long long>(Text::utf16Count(paragraph.text));
            if (utf16Length >= 2) {
                const long long lastOffset = location + utf16Length - 1;
                if (lastOffset <= INT32_MAX) {
                    if (auto last = AXReader::boundsForRange(element, static_cast<int>(lastOffset), 1))
                        height = std::max(last->maxY() - first->minY(), frame.height());
                }
            }
            paraRect = Rect(frame.minX(), first->minY(), frame.width(), height);
        }
    }

    if (location == 0) {
        auto bounds = AXReader::boundsForRange(element, 0, 1);
        if (bounds && std::fabs(bounds->minY() - paraRect.minY()) > 3 * paraRect.height() + 200)
            return skipped(generation, "[ArticleReader] BoundsForRange anomalous for narrow para " + index + ": bounds y="
                                           + whole(bounds->minY()) + " vs frame y=" + whole(paraRect.minY())
                                           + ", skipping sub-highlight");
    }

    Log::line(tag + " units=" + std::to_string(units.size()) + " nativeOffset=" + std::to_string(location) + " paraRect=("
              + rectText(paraRect) + ")");

    auto probe = AXReader::boundsForRange(element, location, 1);
    if (!probe)
        return skipped(generation, tag + " BFR probe FAILED (nil), skip sub-highlight");
    if (auto elementSize = AXReader::size(element); elementSize && 0.9 * elementSize->height < probe->height())
        return skipped(generation, tag + " BFR probe full-rect (h=" + whole(probe->height()) + " vs el h="
                                       + whole(elementSize->height) + "), skip");
    const double distance = std::fabs(probe->minY() - paraRect.minY());
    if (distance > 3 * paraRect.height() + 200)
        return skipped(generation, tag + " BFR probe anomalous: distance=" + whole(distance) + " (bounds y="
                                       + whole(probe->minY()) + " vs frame y=" + whole(paraRect.minY()) + "), skip");
    Log::line(tag + " BFR probe OK: (" + rectText(*probe) + ")");

    Publication publication;
    publication.form = Publication::Form::accessibility;
    publication.generation = generation;
    const Utf16Offsets paragraphOffsets(paragraph.text);
    const int characterCount = paragraphOffsets.characterCount();
    auto lastInParagraph = [&](int upper) { return upper >= characterCount ? LastInParagraph::yes : LastInParagraph::no; };

    if (nco) {
        if (paragraphOffsets.utf16Length() != characterCount)
            Log::line(tag + " grapheme≠utf16: count=" + std::to_string(characterCount) + " utf16="
                      + std::to_string(paragraphOffsets.utf16Length()) + " → 启用 grapheme→UTF-16 转换");
        const std::vector<std::string> characters = Text::characters(paragraph.text);
        for (size_t k = 0; k < units.size(); ++k) {
            const auto range = units[k].charRange;
            const int u16Lower = paragraphOffsets(range.lower);
            const int u16Upper = paragraphOffsets(range.upper);
            const int axLocation = location + u16Lower;
            const int axLength = u16Upper - u16Lower;
            if (axLength < 1)
                continue;
            if (k < alignmentLogUnits)
                logAlignment(element, k, range, u16Lower, u16Upper, axLocation, axLength, characters);
            publication.table[static_cast<int>(k)] = HighlightGeometry::computeLineRects(
                element, axLocation, axLength, paraRect, lastInParagraph(range.upper), range.upper - range.lower);
        }
    } else {
        const Alignment alignment = alignWithElement(element, paragraph);
        const Utf16Offsets referenceOffsets(alignment.mapping ? std::string_view(alignment.reference) : std::string_view());
        for (size_t k = 0; k < units.size(); ++k) {
            const auto range = units[k].charRange;
            // Mapped indices count Characters of the element's text, which accessibility
            // measures in UTF-16 units like every other offset.
            int start = paragraphOffsets(range.lower);
            int end = paragraphOffsets(range.upper);
            int characters = range.upper - range.lower;
            if (alignment.mapping && !alignment.mapping->empty()) {
                const std::vector<int>& mapping = *alignment.mapping;
                const int n = static_cast<int>(mapping.size());
                std::optional<int> s, e;
                for (int at = std::clamp(range.lower, 0, n - 1); at < n && !s; ++at) {
                    if (mapping[static_cast<size_t>(at)] >= 0)
                        s = mapping[static_cast<size_t>(at)];
                }
                for (int at = std::min(range.upper - 1, n - 1); at >= 0 && !e; --at) {
                    if (mapping[static_cast<size_t>(at)] >= 0)
                        e = mapping[static_cast<size_t>(at)];
                }
                if (s && e && *s <= *e) {
                    start = referenceOffsets(*s);
                    end = referenceOffsets(*e + 1);
                    characters = *e - *s + 1;
                }
            }
            publication.table[static_cast<int>(k)] = HighlightGeometry::computeLineRects(
                element, start + alignment.shift, end - start, paraRect, lastInParagraph(range.upper), characters);
        }
    }

    int nonEmpty = 0;
    for (const auto& [k, rects] : publication.table)
        nonEmpty += rects.empty() ? 0 : 1;
    Log::line(tag + " done: " + std::to_string(publication.table.size()) + " entries, " + std::to_string(nonEmpty)
              + " non-empty");
    return publication;
}

void schedule(Request request, std::function<void(Publication)> onPublish)
{
    DispatchQueue::global(QualityOfService::userInitiated).async([request = std::move(request), onPublish = std::move(onPublish)] {
        auto publication = precomputeSubRects(request);
        if (!publication)
            return;
        DispatchQueue::main().async([onPublish, publication = std::move(*publication)]() mutable {
            if (onPublish)
                onPublish(std::move(publication));
        });
    });
}

} // namespace lorvantine::SubRectPrecomputation
