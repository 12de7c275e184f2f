#include "SimDesktop/Toolkit/SimMirroring.h"

namespace lorvantine::SimMirroring {

std::map<std::string, AXValue> attributes(const std::string& subrole, const std::string& title, const std::string& description,
                                          const std::optional<AXValue>& value, bool enabled)
{
    std::map<std::string, AXValue> attributes;
    attributes["AXTitle"] = title;
    attributes["AXEnabled"] = enabled;
    if (!subrole.empty())
        attributes["AXSubrole"] = subrole;
    if (!description.empty())
        attributes["AXDescription"] = description;
    if (value)
        attributes["AXValue"] = *value;
    return attributes;
}

} // namespace lorvantine::SimMirroring
