#include "scene/scene_model.h"

#include <new>

#include "kernel/universe.h"
#include "render/draw_target.h"
#include "render/loader.h"
#include "scene/drop.h"
#include "scene/drops_manager.h"
#include "scene/rain.h"

InitialModel sceneModel;
NS_Universe::Universe* currentUniverse = nullptr;

void InitialModel::CreateHandlers(std::list<NS_AttributeHandler::AttributeHandler*>& out)
{
    // A failed allocation throws rather than appending a null handler; the
    // universe then deletes those already appended.
    AppendNew<Loader>(out);
    AppendNew<Drop>(out);
    AppendNew<DropsManager>(out);
    AppendNew<Rain>(out);
}

void InitialModel::WorkerStopping() noexcept
{
    NS_DrawTarget::Release();
}

bool InitialModel::CycleWanted() noexcept
{
    return NS_DrawTarget::Wanted();
}

void StartEngineWith(NS_InitialModel::InitialModel& model)
{
    // Two universes would share the one rendering context from two workers.
    StopEngine();
    // Null when there is no storage; when the constructor throws, the
    // new-expression releases the storage and currentUniverse stays null.
    currentUniverse = new (std::nothrow) NS_Universe::Universe(&model);
}

void StartEngine()
{
    StartEngineWith(sceneModel);
}

void StopEngine()
{
    NS_Universe::Universe* universe = currentUniverse;
    if (universe == nullptr) {
        return;
    }
    currentUniverse = nullptr;
    delete universe;
}
