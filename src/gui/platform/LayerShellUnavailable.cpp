// A build without LayerShellQt (Debian 12's is made for Qt 5): the panels are always windows.
#include "LayerShell.h"

namespace runel::gui::layershell {

bool isBuilt()
{
    return false;
}

bool compositorOffers()
{
    return false;
}

std::unique_ptr<PanelPlacement> makePlacement()
{
    return nullptr;
}

} // namespace runel::gui::layershell
