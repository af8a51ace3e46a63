#include "kernel/universe.h"

#include <list>
#include <new>

#include "kernel/failure.h"
#include "kernel/object.h"
#include "kernel/system_handler.h"
#include "kernel/time_service.h"

namespace NS_Universe {

namespace {

[[noreturn]] void Fail()
{
    throw new (std::nothrow) Exception;
}

constexpr std::int32_t kTickPeriodMs = 30;

const std::wstring kSystemHandlerName = L"ObjectIndex";

} // namespace

Universe::Universe(NS_InitialModel::InitialModel* model)
{
    Build(model);
    try {
        stoppedEvent = NS_Platform::NewAutoResetEvent();
        if (stoppedEvent == nullptr) {
            Fail();
        }
        stopEvent = NS_Platform::NewAutoResetEvent();
        if (stopEvent == nullptr) {
            Fail();
        }
        // Started last, so that the worker never sees a half-built universe.
        thread = NS_Platform::NewThread(&Universe::WorkerRoutine, this);
        if (thread == nullptr) {
            Fail();
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
    handlers.Add(new NS_SystemHandler::SystemHandler(this));
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
    // A handler that throws here must not end the process from a destructor:
    // its object is taken out of the table all the same, and delivery goes on.
    std::vector<NS_Object::Object*> live;
    objects.LiveObjects(live);
    for (NS_Object::Object* object : live) {
        const NS_ObjectIndex::ObjectIndex reference = object->self;
        try {
            DestroyObject(reference);
        } catch (...) {
            teardownFailure = NS_Failure::Describe(std::current_exception());
            if (objects.Find(reference) != nullptr) {
                objects.Remove(reference);
            }
        }
    }
    for (;;) {
        try {
            DispatchEvents();
            break;
        } catch (...) {
            teardownFailure = NS_Failure::Describe(std::current_exception());
        }
    }
}

NS_AttributeHandler::AttributeHandler* Universe::GetHandler(const std::wstring& name)
{
    auto* handler = dynamic_cast<NS_AttributeHandler::AttributeHandler*>(handlers.Find(name));
    if (handler == nullptr) {
        NS_AttributeHandler::Fail();
    }
    return handler;
}

NS_Object::Object* Universe::CreateObject()
{
    auto* object = new NS_Object::Object;
    try {
        object->self.AssignStamp();
    } catch (...) {
        delete object;
        throw;
    }
    objects.Add(object);
    auto* system = static_cast<NS_SystemHandler::SystemHandler*>(GetHandler(kSystemHandlerName));
    system->AttachObjectIndex(object);
    return object;
}

void Universe::DestroyObject(const NS_ObjectIndex::ObjectIndex& reference)
{
    NS_Object::Object* object = FindObject(reference);
    if (object == nullptr) {
        NS_AttributeHandler::Fail();
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

void Universe::DispatchEvents()
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

void Universe::InitHandlers()
{
    std::vector<NS_AttributesCollection::AttributesCollectionElement*> all;
    handlers.GetAll(all);
    for (auto* element : all) {
        auto* handler = dynamic_cast<NS_AttributeHandler::AttributeHandler*>(element);
        if (handler == nullptr) {
            Fail();
        }
        handler->Init();
    }
}

void Universe::RunCycle(const FILETIME& tickTime)
{
    time = tickTime;
    PostToAll(NS_Events::Tick);
    DispatchEvents();
    PostToAll(NS_Events::Render);
    DispatchEvents();
    cycles.fetch_add(1, std::memory_order_relaxed);
}

std::string Universe::WorkerFailure() const
{
    return WorkerFailed() ? workerFailure : std::string();
}

std::uint32_t Universe::WorkerRoutine(void* argument)
{
    static_cast<Universe*>(argument)->RunWorker();
    return 0;
}

void Universe::RunWorker()
{
    bool stoppedSignalled = false;
    try {
        NS_TimeService::TimeService timeService;
        timeService.SetPeriod(kTickPeriodMs);
        InitHandlers();
        if (NS_Platform::WaitForEvent(stopEvent, 0, false) != NS_Platform::WaitResult::Signalled) {
            for (;;) {
                // The completion routine runs inside these waits and signals the
                // tick event, which the next wait then finds.
                NS_Platform::WaitResult woken;
                do {
                    woken = NS_Platform::WaitForEvent(timeService.tickEvent, NS_Platform::kInfinite, true);
                    if (woken == NS_Platform::WaitResult::Failed) {
                        Fail();
                    }
                } while (woken != NS_Platform::WaitResult::Signalled);
                RunCycle(timeService.ReadTime());
                if (NS_Platform::WaitForEvent(stopEvent, 0, false) == NS_Platform::WaitResult::Signalled) {
                    break;
                }
            }
        }
        initialModel->WorkerStopping();
        NS_Platform::SignalEvent(stoppedEvent);
        stoppedSignalled = true;
    } catch (...) {
        // Nothing may leave a thread routine: the process would end, and the
        // destroying thread would wait for a stoppedEvent that never came.
        workerFailure = NS_Failure::Describe(std::current_exception());
        workerFailed.store(true, std::memory_order_release);
        if (!stoppedSignalled) {
            initialModel->WorkerStopping();
            NS_Platform::SignalEvent(stoppedEvent);
        }
    }
}

} // namespace NS_Universe
