#include "scene/headless_model.h"

#include <list>
#include <memory>

#include "scene/drop.h"
#include "scene/drops_manager.h"
#include "scene/rain.h"

HeadlessSceneModel::~HeadlessSceneModel() = default;

void HeadlessSceneModel::CreateHandlers(std::list<NS_AttributeHandler::AttributeHandler*>& out)
{
    // In the scene's own order; the universe ticks them by name whatever the order.
    if ((handlers & WithDrop) != 0) {
        AppendNew<Drop>(out);
    }
    if ((handlers & WithDropsManager) != 0) {
        AppendNew<DropsManager>(out);
    }
    if ((handlers & WithRain) != 0) {
        AppendNew<Rain>(out);
    }
}
