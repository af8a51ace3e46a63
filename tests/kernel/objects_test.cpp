#include <gtest/gtest.h>

#include <vector>

#include "kernel/objects_collection.h"
#include "kernel/system_handler.h"
#include "kernel/universe.h"
#include "tests/support/scripted_model.h"

using NS_ObjectIndex::ObjectIndex;
using velmora_test::ScriptedModel;
using velmora_test::ThrowsPointerTo;

namespace {

// An object that counts its own destruction.
class CountedObject : public NS_Object::Object {
public:
    explicit CountedObject(int& counter) : deaths(counter) {}
    ~CountedObject() override { ++deaths; }

private:
    int& deaths;
};

NS_Object::Object* Stamped()
{
    auto* object = new NS_Object::Object;
    object->self.AssignStamp();
    return object;
}

} // namespace

TEST(ObjectIndex, NullReferenceIsIndexMinusOneStampZero)
{
    ObjectIndex null;
    EXPECT_EQ(null.index, -1);
    EXPECT_EQ(null.stamp, 0);
}

TEST(ObjectIndex, OrdersByStampAlone)
{
    ObjectIndex a;
    a.index = 9;
    a.stamp = 3;
    ObjectIndex b;
    b.index = 1;
    b.stamp = 4;
    EXPECT_TRUE(a < b);
    EXPECT_FALSE(b < a);
    b.stamp = 3;
    EXPECT_FALSE(a < b); // same stamp: equivalent, whatever the slot
    EXPECT_FALSE(b < a);
}

TEST(ObjectIndex, ExhaustedCounterThrowsAfterAssigningTheLastStamp)
{
    NS_ObjectIndex::StampCounter nearlySpent(-2);
    ObjectIndex last;
    last.AssignStampFrom(nearlySpent);
    EXPECT_EQ(last.stamp, -2);
    ObjectIndex wrapping;
    EXPECT_TRUE(ThrowsPointerTo<NS_ObjectIndex::Exception>([&] { wrapping.AssignStampFrom(nearlySpent); }));
    EXPECT_EQ(wrapping.stamp, -1);
}

TEST(ObjectsCollection, ReusesTheSlotFreedLastFirst)
{
    NS_ObjectsCollection::ObjectsCollection table;
    const std::int64_t base = NS_ObjectIndex::PeekNextStamp();
    NS_Object::Object* a = Stamped();
    NS_Object::Object* b = Stamped();
    NS_Object::Object* c = Stamped();
    table.Add(a);
    table.Add(b);
    table.Add(c);
    EXPECT_EQ(a->self.index, 0);
    EXPECT_EQ(b->self.index, 1);
    EXPECT_EQ(c->self.index, 2);
    const ObjectIndex refA = a->self;
    const ObjectIndex refB = b->self;
    table.Remove(refB);
    table.Remove(refA);

    NS_Object::Object* d = Stamped();
    table.Add(d);
    NS_Object::Object* e = Stamped();
    table.Add(e);
    EXPECT_EQ(d->self.index, 0);
    EXPECT_EQ(d->self.stamp, base + 3);
    EXPECT_EQ(e->self.index, 1);
    EXPECT_EQ(e->self.stamp, base + 4);

    // Dead references stay dead though their slots are taken again.
    EXPECT_EQ(table.Find(refA), nullptr);
    EXPECT_EQ(table.Find(refB), nullptr);
    EXPECT_EQ(table.Find(d->self), d);
    table.Remove(c->self);
    table.Remove(d->self);
    table.Remove(e->self);
}

TEST(ObjectsCollection, FindRejectsNullFreeAndOutOfRangeReferences)
{
    NS_ObjectsCollection::ObjectsCollection table;
    EXPECT_EQ(table.Find(ObjectIndex{}), nullptr);
    NS_Object::Object* a = Stamped();
    table.Add(a);
    ObjectIndex beyond = a->self;
    beyond.index = 5;
    EXPECT_EQ(table.Find(beyond), nullptr);
    const ObjectIndex ref = a->self;
    table.Remove(ref);
    EXPECT_EQ(table.Find(ref), nullptr);
}

TEST(ObjectsCollection, LiveObjectsListsSlotOrderSkippingFreeSlots)
{
    NS_ObjectsCollection::ObjectsCollection table;
    std::vector<NS_Object::Object*> made;
    for (int i = 0; i < 4; ++i) {
        made.push_back(Stamped());
        table.Add(made.back());
    }
    table.Remove(made[1]->self);
    std::vector<NS_Object::Object*> live{nullptr};
    table.LiveObjects(live);
    EXPECT_EQ(live, (std::vector<NS_Object::Object*>{made[0], made[2], made[3]}));
    for (auto* o : live) {
        table.Remove(o->self);
    }
    EXPECT_TRUE(table.IsEmpty());
}

TEST(ObjectsCollection, RemovingADeadReferenceThrowsAndChangesNothing)
{
    NS_ObjectsCollection::ObjectsCollection table;
    NS_Object::Object* a = Stamped();
    table.Add(a);
    ObjectIndex stale = a->self;
    stale.stamp += 1000;
    EXPECT_TRUE(ThrowsPointerTo<NS_ObjectsCollection::Exception>([&] { table.Remove(stale); }));
    EXPECT_EQ(table.Find(a->self), a);
    EXPECT_EQ(table.LiveCount(), 1u);
    table.Remove(a->self);
}

TEST(ObjectsCollection, RefusesAnObjectThatAlreadyHasASlot)
{
    NS_ObjectsCollection::ObjectsCollection table;
    NS_Object::Object* a = Stamped();
    table.Add(a);
    EXPECT_TRUE(ThrowsPointerTo<NS_ObjectsCollection::Exception>([&] { table.Add(a); }));
    EXPECT_EQ(table.LiveCount(), 1u);
    table.Remove(a->self);
}

TEST(ObjectsCollection, DestroyingATableWithLiveObjectsDeletesThemInsteadOfThrowing)
{
    int deaths = 0;
    {
        NS_ObjectsCollection::ObjectsCollection table;
        for (int i = 0; i < 3; ++i) {
            auto* o = new CountedObject(deaths);
            o->self.AssignStamp();
            table.Add(o);
        }
        EXPECT_FALSE(table.IsEmpty());
    }
    EXPECT_EQ(deaths, 3);
}

TEST(SystemHandler, NewObjectCarriesOnlyItsOwnReference)
{
    ScriptedModel model{{}};
    NS_Universe::Universe universe(&model, NS_Universe::Unpaced{});
    NS_Object::Object* object = universe.CreateObject();
    EXPECT_EQ(object->attributes.Count(), 1u);
    auto* value =
        dynamic_cast<NS_SystemHandler::SystemValue*>(universe.GetHandler(L"ObjectIndex")->GetValue(object->self));
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->object.index, object->self.index);
    EXPECT_EQ(value->object.stamp, object->self.stamp);
}

TEST(SystemHandler, RefusesAttachAndSetValueAndRefusesASecondReference)
{
    ScriptedModel model{{}};
    NS_Universe::Universe universe(&model, NS_Universe::Unpaced{});
    NS_Object::Object* object = universe.CreateObject();
    auto* system = static_cast<NS_SystemHandler::SystemHandler*>(universe.GetHandler(L"ObjectIndex"));
    NS_SystemHandler::SystemValue v;
    EXPECT_TRUE(ThrowsPointerTo<NS_AttributeHandler::Exception>([&] { system->Attach(object->self); }));
    EXPECT_TRUE(ThrowsPointerTo<NS_AttributeHandler::Exception>([&] { system->SetValue(object->self, &v); }));
    EXPECT_TRUE(ThrowsPointerTo<NS_AttributesCollection::Exception>([&] { system->AttachObjectIndex(object); }));
    EXPECT_EQ(object->attributes.Count(), 1u);
}
