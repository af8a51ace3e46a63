// The rain scene as the kernel sees it: the initial model that hands a new
// universe its four handlers (Loader, Drop, DropsManager, Rain), and the engine
// entry points through which a host starts and stops the scene.
#pragma once

#include <list>

#include "kernel/initial_model.h"

namespace NS_Universe {
class Universe;
}

class InitialModel : public NS_InitialModel::InitialModel {
public:
    // Appends Loader, Drop, DropsManager and Rain, in that order, each bound to
    // the universe given to SetUniverse. Reads and clears nothing of the list.
    void CreateHandlers(std::list<NS_AttributeHandler::AttributeHandler*>& out) override;
    // The Loader made the drawing target's context current on the worker in its
    // Init; the worker lets go of it here, so that the host can delete it.
    void WorkerStopping() noexcept override;
    // Whether the drawing target has a view that wants a frame (see
    // NS_DrawTarget::DrawTarget::Wanted).
    bool CycleWanted() noexcept override;
};

// The one model of the program; it outlives every universe.
extern InitialModel sceneModel;

// The running universe, or null while none runs. At most one runs at a time.
extern NS_Universe::Universe* currentUniverse;

// Builds and starts a universe from sceneModel on the drawing target that the
// host set up. A universe still running is stopped first. When the universe's
// constructor throws, the exception goes on to the caller and currentUniverse
// stays null.
void StartEngine();

// Stops and destroys the running universe, if any; safe to call again.
void StopEngine();

// StartEngine with another model: for the hosts, which run the scene their
// program's entry gives (a test build's own), and for tests and tools.
void StartEngineWith(NS_InitialModel::InitialModel& model);
