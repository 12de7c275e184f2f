#include "App/AppVersion.h"

namespace lorvantine::AppVersion {

std::optional<std::string> shortVersionString()
{
#ifdef LORVANTINE_VERSION
    if (std::string version = LORVANTINE_VERSION; !version.empty())
        return version;
#endif
    return std::nullopt;
}

} // namespace lorvantine::AppVersion
