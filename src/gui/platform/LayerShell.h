#pragma once

#include "PanelPlacement.h"

#include <memory>

// The layer-shell half of PanelPlacement. Built from LayerShell.cpp where LayerShellQt was
// found at configure time, else from LayerShellUnavailable.cpp, so no other file asks which.
namespace runel::gui::layershell {

// Whether this build can make layer surfaces at all.
bool isBuilt();
// Whether the running Wayland compositor offers zwlr_layer_shell_v1. Asks it once per process
// (on a queue of its own, so Qt's event dispatch is not disturbed); false off Wayland.
bool compositorOffers();
// The layer-shell backend; null where the build has none.
std::unique_ptr<PanelPlacement> makePlacement();

} // namespace runel::gui::layershell
