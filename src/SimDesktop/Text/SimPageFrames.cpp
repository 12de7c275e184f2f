#include "SimDesktop/Text/SimPageFrames.h"

#include "SimDesktop/Model/SimGeometry.h"
#include "SimDesktop/Text/SimTextAttributes.h"
#include "Support/Text.h"

namespace lorvantine::SimPageFrames {

namespace {

bool pageRangeIsValid(const AXRange& r, int64_t length)
{
    return r.location >= 0 && r.length >= 0 && r.location <= length && r.length <= length - r.location;
}

// Whether the document range `r` lies on this page while the page is measured.
bool onMeasuredPage(SimModel& model, SimNode& node, const AXRange& r)
{
    return r.location >= node.documentOffset && r.location + r.length <= node.documentOffset + node.utf16Length
        && isInView(model, node);
}

AXRange toPage(const SimNode& node, AXRange r)
{
    r.location -= node.documentOffset;
    return r;
}

} // namespace

bool isInView(SimModel& model, SimNode& node)
{
    auto visible = SimGeometry::visibleRect(model, node);
    return visible && visible->height() > 0 && visible->width() > 0;
}

AXError copy(SimModel& model, SimNode& node, const std::string& attribute, AXValue& out)
{
    if (attribute == "AXValue") {
        out = node.document->text;
        return AXError::success;
    }
    if (attribute == "AXNumberOfCharacters") {
        out = node.document->utf16Length;
        return AXError::success;
    }
    if (attribute == "AXVisibleCharacterRange") {
        out = AXRange { node.documentOffset, isInView(model, node) ? node.utf16Length : 0 };
        return AXError::success;
    }
    return AXError::attributeUnsupported;
}

AXError copyParameterized(SimModel& model, SimNode& node, const std::string& attribute, const AXValue& parameter,
                          AXValue& out)
{
    const SimPagedDocument& document = *node.document;
    if (attribute == "AXStringForRange" || attribute == "AXAttributedStringForRange" || attribute == "AXBoundsForRange") {
        const AXRange* r = axGet<AXRange>(parameter);
        if (!r || !pageRangeIsValid(*r, document.utf16Length))
            return AXError::illegalArgument;
        if (onMeasuredPage(model, node, *r))
            return SimTextAttributes::copyOwnParameterized(model, node, attribute, toPage(node, *r), out);
        if (attribute == "AXBoundsForRange") {
            auto frame = SimGeometry::frame(model, node);
            if (!frame)
                return AXError::cannotComplete;
            out = *frame;
            return AXError::success;
        }
        std::string text = r->location == 0 && r->length == document.utf16Length
            ? document.text
            : Text::utf16Substring(document.text, static_cast<size_t>(r->location), static_cast<size_t>(r->length));
        if (attribute == "AXStringForRange")
            out = std::move(text);
        else
            out = AXAttributedString { std::move(text), {} };
        return AXError::success;
    }
    if (attribute == "AXLineForIndex") {
        const int64_t* index = axGet<int64_t>(parameter);
        if (!index || *index < node.documentOffset || *index > node.documentOffset + node.utf16Length)
            return AXError::illegalArgument;
        return SimTextAttributes::copyOwnParameterized(model, node, attribute, AXValue(*index - node.documentOffset), out);
    }
    const AXError error = SimTextAttributes::copyOwnParameterized(model, node, attribute, parameter, out);
    if (error == AXError::success)
        if (auto* range = std::get_if<AXRange>(&out))
            range->location += node.documentOffset;
    return error;
}

} // namespace lorvantine::SimPageFrames
