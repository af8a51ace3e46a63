#include "scene/drops_manager.h"

#include <cmath>
#include <vector>

#include "kernel/object.h"
#include "scene/drop.h"
#include "scene/random.h"

std::int32_t DropsManager::spawnCountdown = 0;

namespace {

const std::wstring kDropHandler = L"Drop";

} // namespace

void PrepareFreshScene(std::uint32_t seed)
{
    SeedRandom(seed);
    DropsManager::spawnCountdown = 0;
}

DropsManager::DropsManager(NS_AttributeHandler::UniverseForHandler* owner) : AttributeHandler(owner)
{
    name = L"DropsManager";
}

DropsManager::~DropsManager()
{
    drops.clear();
}

void DropsManager::Init()
{
    SubscribeTo(kDropHandler, NS_Events::Attached | NS_Events::Detached);
}

void DropsManager::Handle(const NS_Events::Event& event)
{
    switch (event.kind) {
    case NS_Events::Attached:
        drops.insert(event.object);
        break;
    case NS_Events::Detached:
        drops.erase(event.object);
        break;
    case NS_Events::Tick:
        RunTick();
        break;
    default:
        break;
    }
}

void DropsManager::RunTick()
{
    NS_AttributeHandler::AttributeHandler* dropHandler = universe->GetHandler(kDropHandler);

    // The count still holds the drops culled below and none of those born in this
    // cycle: both reach `drops` only through events delivered after the ticks.
    if (drops.size() < kDropLimit) {
        // Only ever 0..70; a countdown that is somehow negative spawns rather
        // than counting down for ever.
        if (spawnCountdown > 0) {
            --spawnCountdown;
        } else {
            NS_Object::Object* created = universe->CreateObject();
            const NS_ObjectIndex::ObjectIndex reference = created->self;
            Drop_value spawned; // draws the mass first
            const double r1 = RandomUnit();
            const double r2 = RandomUnit();
            // Denser toward the top: the chance of y <= t is ((t + 0.8) / 1.6)².
            spawned.position = Vector3(Vector2(2.0 * r2 - 1.0, std::sqrt(r1) * 1.6 - 0.8));
            dropHandler->Attach(reference); // draws a default mass, overwritten at once
            dropHandler->SetValue(reference, &spawned);
            spawnCountdown = static_cast<std::int32_t>(70.0 * RandomUnit());
        }
    }

    std::vector<NS_ObjectIndex::ObjectIndex> marked;
    for (const NS_ObjectIndex::ObjectIndex& reference : drops) {
        // Drops that the "Drop" handler removed earlier in this cycle are still
        // listed until their Detached arrives.
        if (universe->FindObject(reference) == nullptr) {
            continue;
        }
        const auto* value = dynamic_cast<const Drop_value*>(dropHandler->GetValue(reference));
        if (value != nullptr && value->position.y < kRemovalLine) {
            marked.push_back(reference);
        }
    }
    for (const NS_ObjectIndex::ObjectIndex& reference : marked) {
        universe->DestroyObject(reference);
    }
}
