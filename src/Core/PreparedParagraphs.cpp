#include "Core/PreparedParagraphs.h"

#include "Network/LanguageDetector.h"

#include <algorithm>

namespace lorvantine {

PreparedParagraphs::PreparedParagraphs(std::vector<ArticleParagraph> list)
    : paragraphs(std::move(list))
{
    std::string joined;
    for (const auto& paragraph : paragraphs)
        joined += paragraph.text;
    isChinese = LanguageDetector::detect(joined) == TextLanguage::zh;

    frames.reserve(paragraphs.size());
    elements.reserve(paragraphs.size());
    tightFrameYOffsets.reserve(paragraphs.size());
    tightFrameHeights.reserve(paragraphs.size());
    anchorLocations.reserve(paragraphs.size());
    for (const auto& paragraph : paragraphs) {
        frames.push_back(paragraph.frame);
        elements.push_back(paragraph.element);
        tightFrameYOffsets.push_back(paragraph.tightFrameYOffset);
        tightFrameHeights.push_back(paragraph.tightFrameHeight);
        anchorLocations.push_back(paragraph.nativeCharOffset);
    }
    allBoundsDisabled = std::all_of(paragraphs.begin(), paragraphs.end(), [](const ArticleParagraph& p) { return p.boundsDisabled; });
    forSpeech = paragraphs;
}

} // namespace lorvantine
