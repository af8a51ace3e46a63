#include <gtest/gtest.h>

#include "kernel/object.h"
#include "kernel/system_handler.h"
#include "kernel/universe.h"
#include "tests/support/scripted_model.h"

using velmora_test::ScriptedHandler;
using velmora_test::ScriptedModel;
using velmora_test::TestValue;
using velmora_test::ThrowsPointerTo;

namespace {

// A universe driven by the test, with a "Drop"-like value handler and a listener.
struct HandlerFixture : ::testing::Test {
    ScriptedModel model{{L"Drop", L"Listener"}};
    NS_Universe::Universe universe{&model, NS_Universe::Unpaced{}};
    ScriptedHandler& drop = *model.Handler(L"Drop");
    ScriptedHandler& listener = *model.Handler(L"Listener");

    NS_ObjectIndex::ObjectIndex NewObject() { return universe.CreateObject()->self; }
    NS_Events::EventQueue& Queue() { return *universe.GetEventQueue(); }
};

// Counts lookups and finds nothing; the handler under test needs no more.
class LookupCounter : public NS_AttributeHandler::UniverseForHandler {
public:
    NS_Object::Object* FindObject(const NS_ObjectIndex::ObjectIndex&) override
    {
        ++lookups;
        return nullptr;
    }
    NS_AttributeHandler::AttributeHandler* GetHandler(const std::wstring&) override { return nullptr; }
    NS_Object::Object* CreateObject() override { return nullptr; }
    void DestroyObject(const NS_ObjectIndex::ObjectIndex&) override {}
    NS_Events::EventQueue* GetEventQueue() override { return &queue; }
    FILETIME GetTime() override { return FILETIME{}; }

    int lookups = 0;
    NS_Events::EventQueue queue;
};

// A handler that keeps no value of its own.
class Bare : public NS_AttributeHandler::AttributeHandler {
public:
    explicit Bare(NS_AttributeHandler::UniverseForHandler* u) : AttributeHandler(u) { name = L"Bare"; }
};

} // namespace

TEST_F(HandlerFixture, SetValueCopiesIntoTheStoredValueAndTellsHandlerThenAttributeSubscribers)
{
    const auto ref = NewObject();
    drop.Attach(ref);
    auto* stored = drop.GetTyped(ref);
    drop.Subscribe(NS_Events::Changed, L"Listener");
    drop.Subscribe(NS_Events::Attached, L"Listener"); // does not match Changed
    auto* attribute = dynamic_cast<NS_Attribute::Attribute*>(universe.FindObject(ref)->attributes.Find(L"Drop"));
    ASSERT_NE(attribute, nullptr);
    attribute->Subscribe(NS_Events::Changed, L"Drop");
    Queue().clear();

    TestValue update;
    update.number = 42;
    drop.SetValue(ref, &update);

    EXPECT_EQ(stored->number, 42); // the same value object, not a replacement
    ASSERT_EQ(Queue().size(), 2u);
    EXPECT_EQ(Queue()[0].target, L"Listener");
    EXPECT_EQ(Queue()[1].target, L"Drop");
    EXPECT_EQ(Queue()[0].kind, NS_Events::Changed);
    EXPECT_EQ(Queue()[0].source, L"Drop");
}

TEST_F(HandlerFixture, SetValueWithOnlyMaskFiveSubscriptionsQueuesNothing)
{
    const auto ref = NewObject();
    drop.Attach(ref);
    drop.Subscribe(5, L"Listener");
    Queue().clear();
    TestValue update;
    drop.SetValue(ref, &update);
    EXPECT_TRUE(Queue().empty());
}

TEST_F(HandlerFixture, HandlersWithoutValuesRefuseValueOperations)
{
    Bare bare(&universe);
    const auto ref = NewObject();
    TestValue v;
    EXPECT_TRUE(ThrowsPointerTo<NS_AttributeHandler::Exception>([&] { bare.GetValue(ref); }));
    EXPECT_TRUE(ThrowsPointerTo<NS_AttributeHandler::Exception>([&] { bare.Attach(ref); }));
    EXPECT_TRUE(ThrowsPointerTo<NS_AttributeHandler::Exception>([&] { bare.SetValue(ref, &v); }));
}

TEST_F(HandlerFixture, SecondAttachKeepsTheFirstValueAndTheSetHoldsTheObjectOnce)
{
    const auto ref = NewObject();
    drop.Attach(ref);
    drop.GetTyped(ref)->number = 7;
    Queue().clear();
    EXPECT_TRUE(ThrowsPointerTo<NS_AttributeHandler::Exception>([&] { drop.Attach(ref); }));
    EXPECT_EQ(drop.GetTyped(ref)->number, 7);
    EXPECT_EQ(drop.Objects().size(), 1u);
    EXPECT_TRUE(Queue().empty());
}

TEST_F(HandlerFixture, DetachRemovesTheValueAndReportsMissingOrDeadObjectsDifferently)
{
    drop.Subscribe(5, L"Listener");
    const auto carrying = NewObject();
    const auto plain = NewObject();
    const auto stripped = NewObject();
    drop.Attach(carrying);
    drop.Attach(stripped);
    universe.FindObject(stripped)->attributes.Remove(L"Drop"); // behind the handler's back
    Queue().clear();

    // A Detach or an Attach that throws leaves the handler's set as it was.
    EXPECT_TRUE(ThrowsPointerTo<NS_AttributesCollection::Exception>([&] { drop.Detach(stripped); }));
    EXPECT_EQ(drop.Objects().count(stripped), 1u);
    const auto gone = NewObject();
    universe.DestroyObject(gone);
    EXPECT_TRUE(ThrowsPointerTo<NS_AttributeHandler::Exception>([&] { drop.Attach(gone); }));
    EXPECT_EQ(drop.Objects().count(gone), 0u);
    EXPECT_EQ(drop.Objects().size(), 2u);

    EXPECT_TRUE(ThrowsPointerTo<NS_AttributesCollection::Exception>([&] { drop.Detach(plain); }));
    EXPECT_TRUE(Queue().empty());

    drop.Detach(carrying);
    EXPECT_EQ(drop.Objects().count(carrying), 0u);
    EXPECT_EQ(universe.FindObject(carrying)->attributes.Find(L"Drop"), nullptr);
    ASSERT_EQ(Queue().size(), 1u);
    EXPECT_EQ(Queue()[0].kind, NS_Events::Detached);

    universe.DestroyObject(plain);
    EXPECT_TRUE(ThrowsPointerTo<NS_AttributeHandler::Exception>([&] { drop.Detach(plain); }));
}

TEST_F(HandlerFixture, GetValueAndSetValueNeedALiveObjectCarryingTheAttribute)
{
    const auto ref = NewObject();
    TestValue v;
    EXPECT_TRUE(ThrowsPointerTo<NS_AttributeHandler::Exception>([&] { drop.GetValue(ref); }));
    EXPECT_TRUE(ThrowsPointerTo<NS_AttributeHandler::Exception>([&] { drop.SetValue(ref, &v); }));
    universe.DestroyObject(ref);
    EXPECT_TRUE(ThrowsPointerTo<NS_AttributeHandler::Exception>([&] { drop.GetValue(ref); }));
}

TEST(AttachValue, WithNullThrowsBeforeLookingTheObjectUp)
{
    LookupCounter lookups;
    ScriptedHandler handler(&lookups, L"Drop", std::make_shared<velmora_test::Journal>());
    EXPECT_TRUE(ThrowsPointerTo<NS_AttributeHandler::Exception>(
        [&] { handler.AttachValue(NS_ObjectIndex::ObjectIndex{}, nullptr); }));
    EXPECT_EQ(lookups.lookups, 0);
    EXPECT_TRUE(ThrowsPointerTo<NS_AttributeHandler::Exception>(
        [&] { handler.AttachValue(NS_ObjectIndex::ObjectIndex{}, new TestValue); }));
    EXPECT_EQ(lookups.lookups, 1);
    EXPECT_TRUE(lookups.queue.empty());
}

TEST_F(HandlerFixture, AttachValueOnADeadObjectConsumesTheValue)
{
    // Under the sanitizer preset a leak here would be reported.
    NS_ObjectIndex::ObjectIndex dead;
    EXPECT_TRUE(ThrowsPointerTo<NS_AttributeHandler::Exception>([&] { drop.AttachValue(dead, new TestValue); }));
}

TEST_F(HandlerFixture, SubscribeToAnUnknownHandlerThrowsAndSubscribesNothing)
{
    EXPECT_TRUE(ThrowsPointerTo<NS_AttributeHandler::Exception>([&] { listener.SubscribeTo(L"Nobody", 5); }));
    listener.SubscribeTo(L"Drop", 5);
    ASSERT_EQ(drop.Subscriptions().size(), 1u);
    EXPECT_EQ(drop.Subscriptions().front().name, L"Listener");
    EXPECT_EQ(drop.Subscriptions().front().mask, 5u);
}

TEST_F(HandlerFixture, NewDropObjectQueuesSystemAttachedThenAttachedThenChanged)
{
    universe.GetHandler(L"ObjectIndex")->Subscribe(0x1F, L"Listener");
    drop.Subscribe(0x1F, L"Listener");
    Queue().clear();
    const auto ref = NewObject();
    drop.Attach(ref);
    TestValue start;
    drop.SetValue(ref, &start);
    ASSERT_EQ(Queue().size(), 3u);
    EXPECT_EQ(Queue()[0].source, L"ObjectIndex");
    EXPECT_EQ(Queue()[0].kind, NS_Events::Attached);
    EXPECT_EQ(Queue()[1].source, L"Drop");
    EXPECT_EQ(Queue()[1].kind, NS_Events::Attached);
    EXPECT_EQ(Queue()[2].kind, NS_Events::Changed);
}

TEST(Attribute, DestroyingOneWithoutAValueDestroysOnlyTheAttribute)
{
    auto* attribute = new NS_Attribute::Attribute(L"Drop");
    EXPECT_EQ(attribute->value, nullptr);
    EXPECT_EQ(attribute->GetName(), L"Drop");
    delete attribute; // the sanitizer preset catches a bad delete
}
