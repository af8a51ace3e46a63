#include "attributes/events.h"

namespace NS_Events {

EventsSender::~EventsSender() = default;

void EventsSender::Subscribe(std::uint32_t mask, const std::wstring& name)
{
    subscriptions.push_back(Subscription{mask, name});
}

void EventsSender::Post(const Event& event, EventQueue& queue) const
{
    Event copy = event;
    for (const Subscription& subscription : subscriptions) {
        if ((subscription.mask & copy.kind) != 0) {
            copy.target = subscription.name;
            queue.push_back(copy);
        }
    }
}

} // namespace NS_Events
