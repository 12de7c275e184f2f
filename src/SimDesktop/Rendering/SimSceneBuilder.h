#pragma once

#include "SimDesktop/Model/SimModel.h"
#include "SimDesktop/Rendering/SimScene.h"

#include <optional>
#include <vector>

namespace lorvantine {

// Reads what the screen shows out of the model. Runs with the desktop locked; the scene it
// makes holds no references into the model.
namespace SimSceneBuilder {

// Every screen: the desktop pictures, the windows on screen (not minimized, not of a hidden
// application, not the program's own, which their layers draw) back to front with the menu bars
// and `layers` among them by level.
SimScene screen(SimModel& model, const std::vector<SimExternalLayer>& layers);

// One window alone; none for an unknown window, a minimized one, one of a hidden application, or
// one of the program's own (drawn by its external layer).
std::optional<SimScene::Window> window(SimModel& model, uint32_t number);

// The screens' frames in global points, top-left origin (the primary screen first).
std::vector<Rect> screenAreas(const SimModel& model);

// The backing scale of the screen that holds the centre of `frame` (else the one it overlaps
// most, else the primary screen).
double backingScale(const SimModel& model, const Rect& frame);

} // namespace SimSceneBuilder
} // namespace lorvantine
