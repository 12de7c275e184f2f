#pragma once

#include "Core/ArticleReader.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

// What one scroll-into-view run works on: a copy of the reading's paragraphs as they stood when
// the paragraph changed, so the run never touches the session's own list off the main thread.
// A Pages pass re-points and measures its copy and hands it back on the main queue.
struct ArticleReader::ScrollJob {
    std::weak_ptr<ArticleReader> reader;
    std::vector<ArticleParagraph> paragraphs;
    size_t index = 0;
    std::optional<AXElement> window;
    std::string bundleID;
    int genId = 0;
    // The generation the reading began with: what Pages' calibration belongs to.
    int readingGen = 0;
    // Pages: characters one page shows, as measured when the reading started.
    int charsPerPage = 0;

    // A run outlives neither its session nor the generation it was started under: a reading
    // started meanwhile (or a seek) owns the window now.
    bool isCurrent() const
    {
        auto self = reader.lock();
        return self && self->isCurrentGeneration(genId);
    }
};

} // namespace lorvantine
