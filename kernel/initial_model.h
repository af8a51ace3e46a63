// What a scene hands to a universe: the supplier of the universe's first handlers.
#pragma once

#include <list>
#include <memory>

namespace NS_AttributeHandler {
class AttributeHandler;
class UniverseForHandler;
} // namespace NS_AttributeHandler

namespace NS_InitialModel {

class InitialModel {
public:
    virtual ~InitialModel();

    void SetUniverse(NS_AttributeHandler::UniverseForHandler* target) { universe = target; }

    // Creates each handler of the scene, bound to `universe`, and appends it to the list.
    virtual void CreateHandlers(std::list<NS_AttributeHandler::AttributeHandler*>& handlers) = 0;

    // The worker's last act, after its last handler call and before it tells the
    // universe that it stopped, whether on request or by a failure: the place to
    // let go of what the handlers' Init bound to the worker thread.
    virtual void WorkerStopping() noexcept {}

    // Asked by the worker on every tick of its timer, before the cycle: false
    // lets that tick pass with no cycle at all, so that a scene whose every
    // view is hidden (an output switched off, a compositor that asks for no
    // frame) rests instead of ticking for nobody, and goes on from where it
    // stood once a view wants a frame again. Unpaced universes never ask.
    virtual bool CycleWanted() noexcept { return true; }

protected:
    // Makes one handler for `universe` and appends it; neither leaks when the
    // other fails for want of memory.
    template <typename Handler> void AppendNew(std::list<NS_AttributeHandler::AttributeHandler*>& handlers)
    {
        auto made = std::make_unique<Handler>(universe);
        handlers.push_back(made.get());
        made.release();
    }

    NS_AttributeHandler::UniverseForHandler* universe = nullptr;
};

} // namespace NS_InitialModel
