// The kernel's own cost, without any scene work: a whole cycle, one event's
// delivery, a lookup, and an object's life.
#include <benchmark/benchmark.h>

#include <list>
#include <vector>

#include "kernel/object.h"
#include "kernel/universe.h"

namespace {

class IdleHandler : public NS_AttributeHandler::AttributeHandler {
public:
    IdleHandler(NS_AttributeHandler::UniverseForHandler* u, const wchar_t* handlerName) : AttributeHandler(u)
    {
        name = handlerName;
    }
};

// The scene's four handler names, doing nothing; with "ObjectIndex" five in all.
class IdleModel : public NS_InitialModel::InitialModel {
public:
    void CreateHandlers(std::list<NS_AttributeHandler::AttributeHandler*>& handlers) override
    {
        for (const wchar_t* n : {L"Drop", L"DropsManager", L"Loader", L"Rain"}) {
            handlers.push_back(new IdleHandler(universe, n));
        }
    }
};

const FILETIME kTime{1u, 1u};

void BM_CycleWith300ObjectsAndFiveHandlers(benchmark::State& state)
{
    IdleModel model;
    NS_Universe::Universe universe(&model, NS_Universe::Unpaced{});
    for (int i = 0; i < 300; ++i) {
        universe.CreateObject();
    }
    universe.DispatchEvents();
    for (auto _ : state) {
        universe.RunCycle(kTime);
    }
}
BENCHMARK(BM_CycleWith300ObjectsAndFiveHandlers);

void BM_DeliverOneEvent(benchmark::State& state)
{
    IdleModel model;
    NS_Universe::Universe universe(&model, NS_Universe::Unpaced{});
    NS_Events::Event event;
    event.kind = NS_Events::Changed;
    event.source = L"Drop";
    event.target = L"DropsManager";
    constexpr int kBatch = 1000;
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < kBatch; ++i) {
            universe.GetEventQueue()->push_back(event);
        }
        state.ResumeTiming();
        universe.DispatchEvents();
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_DeliverOneEvent);

void BM_FindObject(benchmark::State& state)
{
    IdleModel model;
    NS_Universe::Universe universe(&model, NS_Universe::Unpaced{});
    std::vector<NS_ObjectIndex::ObjectIndex> refs;
    for (int i = 0; i < 300; ++i) {
        refs.push_back(universe.CreateObject()->self);
    }
    universe.DispatchEvents();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(universe.FindObject(refs[i]));
        i = (i + 1) % refs.size();
    }
}
BENCHMARK(BM_FindObject);

void BM_CreateAndDestroyObject(benchmark::State& state)
{
    IdleModel model;
    NS_Universe::Universe universe(&model, NS_Universe::Unpaced{});
    for (auto _ : state) {
        NS_Object::Object* object = universe.CreateObject();
        universe.DestroyObject(object->self);
        universe.GetEventQueue()->clear();
    }
}
BENCHMARK(BM_CreateAndDestroyObject);

} // namespace

BENCHMARK_MAIN();
