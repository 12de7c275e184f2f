#include "Platform/Backends/RemoteTextRecognizer.h"

#include "Platform/Backends/DesktopWire.h"
#include "Platform/Backends/RemoteDesktop.h"

namespace lorvantine {

namespace {

ErrorValue remoteRecognitionFailure(const std::string& description) { return ErrorValue { "RemoteTextRecognizer", 1, description }; }

} // namespace

RemoteTextRecognizer::RemoteTextRecognizer(std::shared_ptr<RemoteDesktop> desktop)
    : m_desktop(std::move(desktop))
{
}

Expected<std::vector<TextObservation>, ErrorValue> RemoteTextRecognizer::recognize(const Image& image,
                                                                                 const TextRecognitionRequest& request)
{
    // An image made in memory is known by its own pixels, as the desktop looks it up.
    const bool cut = image.sourceDigest != 0;
    auto answer = m_desktop->call({ { "op", "rt.recognize" },
                                    { "digest", cut ? image.sourceDigest : image.digest() },
                                    { "x", cut ? image.sourceX : 0 },
                                    { "y", cut ? image.sourceY : 0 },
                                    { "width", image.width },
                                    { "height", image.height },
                                    { "request", DesktopWire::recognitionRequest(request) } });
    if (!answer)
        return Unexpected(remoteRecognitionFailure("The desktop server did not answer."));
    if (const DesktopWire::Json* error = DesktopWire::member(*answer, "error"))
        if (auto read = DesktopWire::readError(*error))
            return Unexpected(std::move(*read));
    const DesktopWire::Json* list = DesktopWire::member(*answer, "observations");
    auto observations = list ? DesktopWire::readObservations(*list) : std::nullopt;
    if (!observations)
        return Unexpected(remoteRecognitionFailure("The desktop server's answer does not read."));
    return std::move(*observations);
}

} // namespace lorvantine
