#include "SimDesktop/Ports/SimWindowCapture.h"

#include "SimDesktop/SimDesktop.h"
#include "SimDesktop/Rendering/SimRenderer.h"

#include <cstdio>
#include <unistd.h>

namespace lorvantine {

namespace {

constexpr int failed = 1;

// Written beside `path` and renamed over it, so that a reader never sees half a picture and a
// link planted at `path` is replaced, not followed.
bool writeReplacing(const Image& image, const std::string& path)
{
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        return false;
    ::close(fd);
    if (!image.savePNG(temporary) || std::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace

Expected<int, CaptureLaunchError> SimWindowCapture::captureWindow(uint32_t windowNumber, const std::string& pngPath)
{
    if (m_desktop->captureTool() == SimCaptureTool::cannotStart)
        return Unexpected(CaptureLaunchError { "/usr/sbin/screencapture: No such file or directory" });
    const std::optional<SimRenderer::Picture> picture = SimRenderer::renderWindow(*m_desktop, windowNumber);
    if (!picture || pngPath.empty())
        return failed;
    return writeReplacing(picture->image, pngPath) ? 0 : failed;
}

} // namespace lorvantine
