#pragma once

#include "Platform/Geometry.h"
#include "SimDesktop/Toolkit/SimWindowDrawing.h"

#include <cairo.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace lorvantine {

class SimDesktop;

// The pictures of one process's own windows, painted into every picture of the desktop's screen
// at their levels through one external layer per level (added as levels first appear, removed
// with this object). The owner publishes the whole list after each change on its thread; the
// renderer's threads paint the last list published, after running `beforePicture` (when given)
// on their own thread.
class SimWindowPictures {
public:
    struct Picture {
        int32_t level = 0;
        Rect frame; // global, top-left
        double alpha = 1;
        SimWindowDrawing drawing;
        // Pixels of the drawing per point of `frame` (a recording surface draws in points).
        double scale = 1;
        // Where the drawing's top-left corner lies in the window, in points.
        Point offset;
        // Laid on the screen with the shadow and edge the window server gives a titled window.
        bool framed = false;
    };

    explicit SimWindowPictures(std::shared_ptr<SimDesktop> desktop, std::function<void()> beforePicture = {});
    ~SimWindowPictures();

    // Back to front.
    void publish(std::vector<Picture> pictures);

    SimWindowPictures(const SimWindowPictures&) = delete;
    SimWindowPictures& operator=(const SimWindowPictures&) = delete;

private:
    struct Shared {
        std::mutex mutex;
        std::vector<Picture> pictures;
        void paint(int32_t level, cairo_t* cr);
    };

    const std::shared_ptr<SimDesktop> m_desktop;
    const std::function<void()> m_beforePicture;
    const std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();
    std::map<int32_t, uint64_t> m_layerIds; // level → the desktop's external layer
};

} // namespace lorvantine
