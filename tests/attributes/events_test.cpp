#include <gtest/gtest.h>

#include "attributes/events.h"

using NS_Events::Event;
using NS_Events::EventQueue;
using NS_Events::EventsSender;

namespace {
Event About(std::uint32_t kind)
{
    Event e;
    e.object.index = 4;
    e.object.stamp = 17;
    e.source = L"Drop";
    e.kind = kind;
    return e;
}
} // namespace

TEST(EventsSender, PostsOneCopyPerMatchingSubscriptionInSubscriptionOrder)
{
    EventsSender sender;
    sender.Subscribe(NS_Events::Attached | NS_Events::Detached, L"Loader");
    sender.Subscribe(NS_Events::Changed, L"Rain");
    sender.Subscribe(NS_Events::Attached, L"DropsManager");
    sender.Subscribe(NS_Events::Attached, L"Loader"); // twice: two copies

    EventQueue queue;
    sender.Post(About(NS_Events::Attached), queue);
    ASSERT_EQ(queue.size(), 3u);
    EXPECT_EQ(queue[0].target, L"Loader");
    EXPECT_EQ(queue[1].target, L"DropsManager");
    EXPECT_EQ(queue[2].target, L"Loader");
    for (const Event& e : queue) {
        EXPECT_EQ(e.source, L"Drop");
        EXPECT_EQ(e.object.stamp, 17);
        EXPECT_EQ(e.kind, NS_Events::Attached);
    }
}

TEST(EventsSender, MaskFiveHearsAttachedAndDetachedButNotChanged)
{
    EventsSender sender;
    sender.Subscribe(5, L"Loader");
    sender.Subscribe(0, L"Deaf");
    EventQueue queue;
    sender.Post(About(NS_Events::Changed), queue);
    EXPECT_TRUE(queue.empty());
    sender.Post(About(NS_Events::Detached), queue);
    sender.Post(About(NS_Events::Attached), queue);
    ASSERT_EQ(queue.size(), 2u);
    EXPECT_EQ(queue[0].kind, NS_Events::Detached);
    EXPECT_EQ(queue[1].kind, NS_Events::Attached);
}

TEST(EventsSender, PostAppendsBehindWhatIsQueuedAndDoesNotSkipItsOwnName)
{
    EventsSender sender;
    sender.Subscribe(NS_Events::Tick, L"Drop");
    EventQueue queue;
    queue.push_back(About(NS_Events::Render));
    sender.Post(About(NS_Events::Tick), queue);
    ASSERT_EQ(queue.size(), 2u);
    EXPECT_EQ(queue.back().target, L"Drop");
}
