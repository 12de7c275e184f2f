#pragma once

#include "Platform/TextRecognitionPort.h"

#include <memory>

namespace lorvantine {

class RemoteDesktop;

// Text recognition answered by the desktop server from what it knows it drew (its desktop
// truth): only the picture's digest, the image's place in it and its size go over, never its
// pixels, so it answers for captures of the server's windows and crops of them as the desktop's
// own truth recogniser does in process. Any thread; blocks until the server answers.
class RemoteTextRecognizer final : public TextRecognitionPort {
public:
    explicit RemoteTextRecognizer(std::shared_ptr<RemoteDesktop> desktop);
    Expected<std::vector<TextObservation>, ErrorValue> recognize(const Image& image,
                                                               const TextRecognitionRequest& request) override;

private:
    const std::shared_ptr<RemoteDesktop> m_desktop;
};

} // namespace lorvantine
