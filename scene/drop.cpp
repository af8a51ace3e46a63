#include "scene/drop.h"

#include <cmath>
#include <vector>

#include "kernel/object.h"
#include "scene/portable_math.h"
#include "scene/random.h"

namespace {

constexpr double kSlideThreshold = 0.002; // also the base of a trail drop's mass
constexpr double kShedThreshold = 0.01;
constexpr double kDryingFactor = 0.999;
constexpr double kDriedAway = 0.000001;
constexpr std::int32_t kMergeTicks = 3;
constexpr std::int32_t kShedTicks = 1;
// The giver of a merge passes on a little more than it has, so that its mass
// ends below zero and it is certain to go.
constexpr double kMergeOvershoot = 1.001;
constexpr double kMassDivisor = 100.0;
constexpr double kScale = 0.16;
// The default mass range, from the model's parameters as they stand.
constexpr double kMinDefaultMass = 0.16 * 0.002 * 1.8; // 0.000576
constexpr double kMaxDefaultMass = 0.01 * 0.16 * 0.5;  // 0.0008

} // namespace

Drop_value::Drop_value() : mass(kMinDefaultMass + RandomUnit() * (kMaxDefaultMass - kMinDefaultMass))
{
    radius = RadiusOf(mass);
}

Drop_value::~Drop_value() = default;

double Drop_value::RadiusOf(double dropMass)
{
    // The giver of a merge ends with a negative mass in its last tick; it is
    // removed at the end of that tick, and has no size meanwhile.
    if (!(dropMass > 0.0)) {
        return 0.0;
    }
    return PortableCbrt(dropMass / kMassDivisor * 0.25);
}

Drop::Drop(NS_AttributeHandler::UniverseForHandler* owner) : ValueHandler(owner), drops(objects)
{
    name = L"Drop";
}

Drop::~Drop()
{
    objects.clear();
}

std::int32_t Drop::ResistanceBand(double y)
{
    return static_cast<std::int32_t>((y + 1.0) * 20.0);
}

std::uint32_t Drop::EdgeLevel(double edge, double x)
{
    // The low 32 bits of the truncated product, two's complement for negatives.
    const auto scaled = static_cast<std::int64_t>((edge + x) * 10000.0);
    const auto low = static_cast<std::uint32_t>(static_cast<std::uint64_t>(scaled));
    // The fixed bit pattern stirs the truncated position before the remainder,
    // so that the level does not simply count up by one every 0.0001 along x,
    // as the plain remainder would. It is part of the scene: the golden
    // checksums hold it.
    return (low ^ 0xCCCCCCCCu) % 100u;
}

double Drop::Resistance(const Vector3& p)
{
    const std::int32_t c = ResistanceBand(p.y);
    const double y0 = c * 0.05 - 1.0;
    const double y1 = (c + 1) * 0.05 - 1.0;
    const auto h0 = static_cast<std::int32_t>(EdgeLevel(y0, p.x));
    const auto h1 = static_cast<std::int32_t>(EdgeLevel(y1, p.x));
    return ((h1 - h0) * (p.y - y0) * 0.2 + h0 * 0.01 + 0.5) * kScale * 2.0 / 3.0;
}

Drop::PassEntry Drop::Fetch(const NS_ObjectIndex::ObjectIndex& reference)
{
    NS_Attribute::Attribute* attribute = FindOwnAttribute(reference);
    // Only this handler puts an attribute named "Drop" on an object, and always
    // with a Drop_value (Attach); so no run-time check is needed on the hot path.
    return PassEntry{reference, attribute, static_cast<Drop_value*>(attribute->value)};
}

bool Drop::Listens(const NS_Events::EventsSender& sender)
{
    for (const NS_Events::Subscription& subscription : sender.Subscriptions()) {
        if ((subscription.mask & NS_Events::Changed) != 0) {
            return true;
        }
    }
    return false;
}

void Drop::WriteBack(const PassEntry& entry, const Drop_value& value, bool changesHeard)
{
    // What SetValue does, without looking the value up again.
    *entry.value = value;
    if (changesHeard || Listens(*entry.attribute)) {
        SendEvent(entry.reference, entry.attribute, NS_Events::Changed);
    }
}

void Drop::Handle(const NS_Events::Event& event)
{
    if (event.kind == NS_Events::Tick) {
        RunTick();
    }
}

Drop::Pass Drop::StartPass()
{
    // Each drop's stored value, fetched once per tick. No object goes away during
    // the pass (removal waits for its end), so the pointers stay valid; trail
    // drops born in the pass have the newest stamps and are appended at the end,
    // which keeps this list in the order of `drops`.
    Pass pass;
    pass.drops.reserve(objects.size() + 16);
    for (const NS_ObjectIndex::ObjectIndex& reference : objects) {
        pass.drops.push_back(Fetch(reference));
    }
    // Nobody listens to Changed in this scene; when nobody does, writing a value
    // back needs no event built only to be thrown away.
    pass.changesHeard = Listens(*this);
    return pass;
}

void Drop::TransferStep(Drop_value& a, const NS_ObjectIndex::ObjectIndex& self, Pass& pass)
{
    // The speed comes from the mass before this tick's transfer step.
    const double speed = a.mass / Resistance(a.position);
    if (speed >= kSlideThreshold) {
        a.position.x += a.xRate;
        a.position.y -= speed;
    }
    if (a.counter == 0) {
        a.state = Drop_value::Resting;
        a.counter = static_cast<std::int32_t>(1.0 + 3.0 * RandomUnit());
        return;
    }
    --a.counter;
    a.mass += a.massRate;
    a.radius = Drop_value::RadiusOf(a.mass);
    if (a.mass <= 0.0) {
        pass.marked.push_back(self);
    }
}

double Drop::SlideOrDry(Drop_value& a, const NS_ObjectIndex::ObjectIndex& self, Pass& pass)
{
    if (a.state == Drop_value::Resting) {
        if (a.counter == 0) {
            a.state = Drop_value::Free;
        } else {
            --a.counter;
        }
    }
    const double speed = a.mass / Resistance(a.position);
    if (speed >= kSlideThreshold) {
        a.position.y -= speed;
        return speed;
    }
    a.mass *= kDryingFactor;
    a.radius = Drop_value::RadiusOf(a.mass);
    if (a.mass < kDriedAway) {
        a.state = Drop_value::Resting;
        pass.marked.push_back(self);
        ++driedAway;
    }
    return speed;
}

bool Drop::MergeWithFirstTouched(std::size_t i, Drop_value& a, Pass& pass)
{
    // The later drops have not moved yet in this tick, while this one already
    // has; each pair is tested once, by its earlier drop.
    for (std::size_t j = i + 1; j < pass.drops.size(); ++j) {
        const Drop_value& seen = *pass.drops[j].value;
        if (seen.state != Drop_value::Free) {
            continue;
        }
        const double reach = a.radius + seen.radius;
        // Most pairs are far apart along x or y; the length is never below
        // either gap by more than a rounding, so this margin keeps every
        // decision exactly that of the length test below.
        const double margin = reach * 1.000000001;
        if (std::fabs(a.position.x - seen.position.x) > margin || std::fabs(a.position.y - seen.position.y) > margin) {
            continue;
        }
        if ((a.position - seen.position).Length() > reach) {
            continue;
        }
        Drop_value b = seen;
        Merge(a, b);
        WriteBack(pass.drops[j], b, pass.changesHeard);
        ++mergesStarted;
        return true;
    }
    return false;
}

void Drop::Merge(Drop_value& a, Drop_value& b)
{
    a.state = b.state = Drop_value::Merging;
    a.counter = b.counter = kMergeTicks;
    // Equal masses: the later drop absorbs the earlier one.
    Drop_value& heavier = b.mass < a.mass ? a : b;
    Drop_value& lighter = b.mass < a.mass ? b : a;
    const double given = lighter.mass;
    heavier.massRate = given / kMergeTicks;
    lighter.massRate = given * (-kMergeOvershoot) / kMergeTicks;
    // Both drift toward the lower drop's x.
    const double targetX = a.position.y < b.position.y ? a.position.x : b.position.x;
    a.xRate = (targetX - a.position.x) / kMergeTicks;
    b.xRate = (targetX - b.position.x) / kMergeTicks;
}

void Drop::Shed(Drop_value& a, Pass& pass)
{
    NS_Object::Object* created = universe->CreateObject();
    const NS_ObjectIndex::ObjectIndex trailReference = created->self;
    Attach(trailReference);
    pass.drops.push_back(Fetch(trailReference));
    Drop_value trail;
    a.state = Drop_value::Shedding;
    const double m = (0.3 + 0.6 * RandomUnit()) * Resistance(a.position) * kSlideThreshold;
    trail.state = Drop_value::Shedding;
    trail.position = a.position;
    trail.mass = m * 0.001;
    trail.radius = Drop_value::RadiusOf(trail.mass);
    trail.xRate = 0.0;
    trail.counter = kShedTicks;
    trail.massRate = m / kShedTicks;
    a.xRate = 0.0;
    a.counter = kShedTicks;
    a.massRate = -m;
    WriteBack(pass.drops.back(), trail, pass.changesHeard);
    ++sheddings;
}

void Drop::RunTick()
{
    Pass pass = StartPass();
    // Indexed, not iterated: a shedding appends its trail drop to the pass.
    for (std::size_t i = 0; i < pass.drops.size(); ++i) {
        const NS_ObjectIndex::ObjectIndex self = pass.drops[i].reference;
        Drop_value a = *pass.drops[i].value;
        if (a.state == Drop_value::Merging || a.state == Drop_value::Shedding) {
            TransferStep(a, self, pass);
        } else {
            const double speed = SlideOrDry(a, self, pass);
            // A drop that rests (or has just dried away) neither merges nor sheds.
            if (a.state == Drop_value::Free && !MergeWithFirstTouched(i, a, pass) && speed >= kShedThreshold) {
                Shed(a, pass);
            }
        }
        WriteBack(pass.drops[i], a, pass.changesHeard);
    }

    // Marked in pass order, which is reference order.
    for (const NS_ObjectIndex::ObjectIndex& reference : pass.marked) {
        if (universe->FindObject(reference) != nullptr) {
            universe->DestroyObject(reference);
        }
    }
}
