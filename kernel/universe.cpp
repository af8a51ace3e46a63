#include "kernel/universe.h"

#include <list>
#include <memory>

#include "kernel/cycle.h"
#include "kernel/failure.h"
#include "kernel/object.h"
#include "kernel/system_handler.h"
#include "kernel/time_service.h"

namespace NS_Universe {

namespace {

using NS_Failure::Throw;

// Teardown repeats destroy-then-deliver while handlers keep making objects in
// answer to the Detached events; a handler that always does would never let it
// end, so after this many rounds what is left goes without its Detach calls.
constexpr int kTeardownRounds = 8;

const std::wstring kSystemHandlerName = L"ObjectIndex";

} // namespace

Universe::Universe(NS_InitialModel::InitialModel* model) : paced(true)
{
    Build(model);
    try {
        stoppedEvent = NS_Platform::NewAutoResetEvent();
        if (stoppedEvent == nullptr) {
            Throw<Exception>();
        }
        stopEvent = NS_Platform::NewAutoResetEvent();
        if (stopEvent == nullptr) {
            Throw<Exception>();
        }
        // Started last, so that the worker never sees a half-built universe.
        thread = NS_Platform::NewThread(&Universe::WorkerRoutine, this);
        if (thread == nullptr) {
            Throw<Exception>();
        }
    } catch (...) {
        if (stopEvent != nullptr) {
            NS_Platform::CloseEvent(stopEvent);
        }
        if (stoppedEvent != nullptr) {
            NS_Platform::CloseEvent(stoppedEvent);
        }
        throw;
    }
}

Universe::Universe(NS_InitialModel::InitialModel* model, Unpaced)
{
    Build(model);
}

void Universe::Build(NS_InitialModel::InitialModel* model)
{
    initialModel = model;
    {
        auto system = std::make_unique<NS_SystemHandler::SystemHandler>(this);
        handlers.Add(system.get());
        system.release();
    }
    model->SetUniverse(this);
    std::list<NS_AttributeHandler::AttributeHandler*> created;
    try {
        model->CreateHandlers(created);
        while (!created.empty()) {
            handlers.Add(created.front());
            created.pop_front();
        }
    } catch (...) {
        // The handlers not yet registered belong to nobody else: the one refused
        // for its name and those behind it.
        for (NS_AttributeHandler::AttributeHandler* handler : created) {
            delete handler;
        }
        throw;
    }
}

Universe::~Universe()
{
    if (thread != nullptr) {
        if (NS_Platform::ThreadStillActive(thread)) {
            NS_Platform::SignalEvent(stopEvent);
            NS_Platform::WaitForEvent(stoppedEvent, NS_Platform::kInfinite, false);
        }
        NS_Platform::CloseThread(thread);
        thread = nullptr;
    }
    Teardown();
    if (stoppedEvent != nullptr) {
        NS_Platform::CloseEvent(stoppedEvent);
    }
    if (stopEvent != nullptr) {
        NS_Platform::CloseEvent(stopEvent);
    }
}

void Universe::Teardown() noexcept
{
    // A handler that throws here must not end the process from a destructor: its
    // object is taken out of the table all the same, and delivery goes on.
    for (int round = 0; round < kTeardownRounds && !objects.IsEmpty(); ++round) {
        // By slot and by reference: a Detach may destroy other objects (their
        // slots are then empty or hold a newer object, which a later round takes).
        for (std::size_t slot = 0; slot < objects.SlotCount(); ++slot) {
            const NS_Object::Object* object = objects.InSlot(slot);
            if (object == nullptr) {
                continue;
            }
            const NS_ObjectIndex::ObjectIndex reference = object->self;
            try {
                DestroyObject(reference);
            } catch (...) {
                NS_Failure::Discard(std::current_exception());
                if (objects.Find(reference) != nullptr) {
                    objects.Remove(reference);
                }
            }
        }
        DrainDuringTeardown();
    }
    DrainDuringTeardown();
}

void Universe::DrainDuringTeardown() noexcept
{
    for (;;) {
        try {
            Drain();
            return;
        } catch (...) {
            // The failing event has left the queue; the next one goes on.
            NS_Failure::Discard(std::current_exception());
        }
    }
}

NS_AttributeHandler::AttributeHandler* Universe::GetHandler(const std::wstring& name)
{
    auto* handler = dynamic_cast<NS_AttributeHandler::AttributeHandler*>(handlers.Find(name));
    if (handler == nullptr) {
        Throw<NS_AttributeHandler::Exception>();
    }
    return handler;
}

NS_Object::Object* Universe::CreateObject()
{
    auto made = std::make_unique<NS_Object::Object>();
    made->self.AssignStamp();
    objects.Add(made.get());
    NS_Object::Object* object = made.release();
    try {
        auto* system = static_cast<NS_SystemHandler::SystemHandler*>(GetHandler(kSystemHandlerName));
        system->AttachObjectIndex(object);
    } catch (...) {
        // A live object always carries its own reference: without it, none at all.
        objects.Remove(object->self);
        throw;
    }
    return object;
}

void Universe::DestroyObject(const NS_ObjectIndex::ObjectIndex& reference)
{
    NS_Object::Object* object = FindObject(reference);
    if (object == nullptr) {
        Throw<NS_AttributeHandler::Exception>();
    }
    // Copied first: the reference may point into the object about to go.
    const NS_ObjectIndex::ObjectIndex self = object->self;
    std::vector<NS_AttributesCollection::AttributesCollectionElement*> snapshot;
    object->attributes.GetAll(snapshot);
    std::vector<std::wstring> names;
    names.reserve(snapshot.size());
    for (auto* attribute : snapshot) {
        names.push_back(attribute->GetName());
    }
    for (const std::wstring& attributeName : names) {
        if (attributeName != kSystemHandlerName) {
            GetHandler(attributeName)->Detach(self);
        }
    }
    objects.Remove(self);
}

void Universe::RefuseIfPaced() const
{
    if (paced) {
        Throw<Exception>();
    }
}

void Universe::DispatchEvents()
{
    RefuseIfPaced();
    Drain();
}

void Universe::InitHandlers()
{
    RefuseIfPaced();
    StartHandlers();
}

void Universe::RunCycle(const FILETIME& tickTime)
{
    RefuseIfPaced();
    Cycle(tickTime);
}

std::size_t Universe::LiveObjectCount() const
{
    RefuseIfPaced();
    return objects.LiveCount();
}

void Universe::Drain()
{
    while (!events.empty()) {
        const NS_Events::Event event = std::move(events.front());
        events.pop_front();
        GetHandler(event.target)->Handle(event);
    }
}

void Universe::PostToAll(std::uint32_t kind)
{
    std::vector<NS_AttributesCollection::AttributesCollectionElement*> all;
    handlers.GetAll(all);
    NS_Events::Event event;
    event.kind = kind;
    for (auto* handler : all) {
        event.target = handler->GetName();
        events.push_back(event);
    }
}

void Universe::StartHandlers()
{
    std::vector<NS_AttributesCollection::AttributesCollectionElement*> all;
    handlers.GetAll(all);
    for (auto* element : all) {
        auto* handler = dynamic_cast<NS_AttributeHandler::AttributeHandler*>(element);
        if (handler == nullptr) {
            Throw<Exception>();
        }
        handler->Init();
    }
}

void Universe::Cycle(const FILETIME& tickTime)
{
    time = tickTime;
    PostToAll(NS_Events::Tick);
    Drain();
    PostToAll(NS_Events::Render);
    Drain();
    cycles.fetch_add(1, std::memory_order_relaxed);
}

std::string Universe::WorkerFailure() const
{
    return WorkerFailed() ? std::string(workerFailure) : std::string();
}

std::uint32_t Universe::WorkerRoutine(void* argument)
{
    static_cast<Universe*>(argument)->RunWorker();
    return 0;
}

void Universe::RunWorker() noexcept
{
    try {
        RunPaced();
    } catch (...) {
        // Nothing may leave a thread routine: the process would end, and the
        // destroying thread would wait for a stoppedEvent that never came.
        NS_Failure::DescribeInto(std::current_exception(), workerFailure, sizeof workerFailure);
        // What is left of the cut-short cycle must not run later, on the
        // destroying thread; teardown still detaches every live object.
        events.clear();
        workerFailed.store(true, std::memory_order_release);
    }
    // The last things the worker does, after a normal stop and after a failure:
    // the model lets go of what it holds on this thread, then the stop is told.
    initialModel->WorkerStopping();
    NS_Platform::SignalEvent(stoppedEvent);
}

void Universe::RunPaced()
{
    NS_TimeService::TimeService timeService;
    timeService.SetPeriod(kCycleMilliseconds);
    StartHandlers();
    if (NS_Platform::WaitForEvent(stopEvent, 0, false) == NS_Platform::WaitResult::Signalled) {
        return;
    }
    for (;;) {
        // The timer's routine runs inside these waits and signals the tick event,
        // which the next wait then finds.
        NS_Platform::WaitResult woken;
        do {
            woken = NS_Platform::WaitForEvent(timeService.tickEvent, NS_Platform::kInfinite, true);
            if (woken == NS_Platform::WaitResult::Failed) {
                Throw<Exception>();
            }
        } while (woken != NS_Platform::WaitResult::Signalled);
        if (initialModel->CycleWanted()) {
            Cycle(timeService.ReadTime());
        }
        if (NS_Platform::WaitForEvent(stopEvent, 0, false) == NS_Platform::WaitResult::Signalled) {
            return;
        }
    }
}

} // namespace NS_Universe
