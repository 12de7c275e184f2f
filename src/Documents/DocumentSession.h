#pragma once

#include "Documents/ReadableParagraph.h"
#include "Platform/AXTypes.h"

#include <string>
#include <vector>

namespace lorvantine {

// A readable front window as one source found it. Sessions are created on a worker thread by
// a source's detect and handed to the main thread; once returned they do not change, so their
// members may be read from any thread. Nothing outside the sources looks beyond these three.
class DocumentSession {
public:
    virtual ~DocumentSession() = default;

    virtual std::string title() const = 0;
    // In reading order, `index` 0, 1, 2, ...
    virtual std::vector<ReadableParagraph> paragraphs() const = 0;
    // The window the paragraphs were read from.
    virtual AXElement windowElement() const = 0;
};

} // namespace lorvantine
