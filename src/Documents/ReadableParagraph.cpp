#include "Documents/ReadableParagraph.h"

namespace lorvantine {

ReadableParagraph ReadableParagraph::from(const ArticleParagraph& paragraph)
{
    return ReadableParagraph{
        .index = paragraph.index,
        .text = paragraph.text,
        .frame = paragraph.frame,
        .role = paragraph.role,
        .axElement = paragraph.element,
        .axFullText = paragraph.axFullText,
        .tightFrameYOffset = paragraph.tightFrameYOffset,
        .tightFrameHeight = paragraph.tightFrameHeight,
        .nativeCharOffset = paragraph.nativeCharOffset,
        .boundsDisabled = paragraph.boundsDisabled,
        .ocrWordBboxes = paragraph.ocrWordBboxes,
    };
}

ArticleParagraph ReadableParagraph::toArticleParagraph() const
{
    return ArticleParagraph{
        .index = index,
        .text = text,
        .frame = frame,
        .role = role,
        .element = axElement,
        .axFullText = axFullText,
        .tightFrameYOffset = tightFrameYOffset,
        .tightFrameHeight = tightFrameHeight,
        .nativeCharOffset = nativeCharOffset,
        .boundsDisabled = boundsDisabled,
        .ocrWordBboxes = ocrWordBboxes,
    };
}

} // namespace lorvantine
