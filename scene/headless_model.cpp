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
        out.push_back(new Drop(universe));
    }
    if ((handlers & WithDropsManager) != 0) {
        out.push_back(new DropsManager(universe));
    }
    if ((handlers & WithRain) != 0) {
        out.push_back(new Rain(universe));
    }
}
