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
// that want many cycles fast and reproducibly. On a paced universe those calls
// would race with the worker, so there they throw NS_Universe::Exception.
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

    // For unpaced universes only (see Unpaced). Delivers queued events, first in
    // first out, until the queue is empty.
    void DispatchEvents();
    // For unpaced universes only. Init on every handler, in ascending name order.
    void InitHandlers();
    // For unpaced universes only. One cycle: the time of this tick, Tick to every
    // handler and a drain, then Render to every handler and a drain.
    void RunCycle(const FILETIME& tickTime);
    // For unpaced universes only.
    std::size_t LiveObjectCount() const;

    // Set when an exception left a handler on the worker thread; the worker
    // then stopped and the universe tears down normally.
    bool WorkerFailed() const { return workerFailed.load(std::memory_order_acquire); }
    std::string WorkerFailure() const;

    // How many cycles the worker has run: for watching pacing from outside.
    std::uint64_t CyclesRun() const { return cycles.load(std::memory_order_relaxed); }

private:
    void Build(NS_InitialModel::InitialModel* model);
    void RefuseIfPaced() const;
    void Drain();
    void StartHandlers();
    void Cycle(const FILETIME& tickTime);
    void PostToAll(std::uint32_t kind);
    void Teardown() noexcept;
    void DrainDuringTeardown() noexcept;
    static std::uint32_t WorkerRoutine(void* argument);
    void RunWorker() noexcept;
    void RunPaced();

    NS_InitialModel::InitialModel* initialModel = nullptr; // outlives the universe
    NS_ObjectsCollection::ObjectsCollection objects;
    NS_HandlersCollection::HandlersCollection handlers;
    NS_Events::EventQueue events;
    FILETIME time{};
    NS_Platform::Handle thread = nullptr;
    NS_Platform::Handle stoppedEvent = nullptr;
    NS_Platform::Handle stopEvent = nullptr;

    bool paced = false;
    std::atomic<bool> workerFailed{false};
    // Written by the worker before it signals stoppedEvent; a fixed buffer, so that
    // recording a failure cannot itself fail.
    char workerFailure[160] = {};
    std::atomic<std::uint64_t> cycles{0};
};

} // namespace NS_Universe
