#include "Accessibility/ArticleParagraph.h"

namespace lorvantine {

JsonValue ArticleParagraph::toJSON() const
{
    return JsonValue::object({
        {"index", index},
        {"text", text},
        {"role", role},
        {"x", frame.origin.x},
        {"y", frame.origin.y},
        {"width", frame.size.width},
        {"height", frame.size.height},
    });
}

} // namespace lorvantine
