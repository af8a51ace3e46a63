// The root of the simulation kernel: owns the handlers (by name), the objects,
// the queue of pending events and the worker thread that drives them.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "attributes/attribute_handler.h"
#include "attributes/attributes_collection.h"
#include "attributes/events.h"
#include "kernel/filetime.h"
#include "kernel/initial_model.h"
#include "kernel/objects_collection.h"
#include "kernel/platform.h"

namespace NS_Universe {

class Exception {};

// Asks for a universe whose cycles its creator drives on its own thread through
// InitHandlers and RunCycle, with no worker and no timer: for tests and tools
// that want many cycles fast and reproducibly.
struct Unpaced {};

class Universe final : public NS_AttributeHandler::UniverseForHandler {
public:
    // Builds the universe from the model and starts the worker, paced every 30 ms.
    explicit Universe(NS_InitialModel::InitialModel* model);
    Universe(NS_InitialModel::InitialModel* model, Unpaced);
    Universe(const Universe&) = delete;
    Universe& operator=(const Universe&) = delete;
    // Stops the worker between cycles, then destroys the objects, delivers the
    // last events and deletes the handlers, all on the calling thread.
    ~Universe();

    NS_Object::Object* FindObject(const NS_ObjectIndex::ObjectIndex& reference) override
    {
        return objects.Find(reference);
    }
    NS_AttributeHandler::AttributeHandler* GetHandler(const std::wstring& name) override;
    NS_Object::Object* CreateObject() override;
    void DestroyObject(const NS_ObjectIndex::ObjectIndex& reference) override;
    NS_Events::EventQueue* GetEventQueue() override { return &events; }
    FILETIME GetTime() override { return time; }

    // Delivers queued events, first in first out, until the queue is empty.
    void DispatchEvents();

    // The worker's start-up: Init on every handler, in ascending name order.
    void InitHandlers();
    // One cycle: the time of this tick, Tick to every handler and a drain, then
    // Render to every handler and a drain.
    void RunCycle(const FILETIME& tickTime);

    // Set when an exception left a handler on the worker thread; the worker
    // then stopped and the universe tears down normally.
    bool WorkerFailed() const { return workerFailed.load(std::memory_order_acquire); }
    std::string WorkerFailure() const;

    std::size_t LiveObjectCount() const { return objects.LiveCount(); }

    // How many cycles the worker has run: for watching pacing from outside.
    std::uint64_t CyclesRun() const { return cycles.load(std::memory_order_relaxed); }

private:
    void Build(NS_InitialModel::InitialModel* model);
    void PostToAll(std::uint32_t kind);
    void Teardown() noexcept;
    static std::uint32_t WorkerRoutine(void* argument);
    void RunWorker();

    NS_InitialModel::InitialModel* initialModel = nullptr; // outlives the universe
    NS_ObjectsCollection::ObjectsCollection objects;
    NS_HandlersCollection::HandlersCollection handlers;
    NS_Events::EventQueue events;
    FILETIME time{};
    NS_Platform::Handle thread = nullptr;
    NS_Platform::Handle stoppedEvent = nullptr;
    NS_Platform::Handle stopEvent = nullptr;

    std::atomic<bool> workerFailed{false};
    std::string workerFailure; // written by the worker before it signals stoppedEvent
    std::string teardownFailure;
    std::atomic<std::uint64_t> cycles{0};
};

} // namespace NS_Universe
