// Events: the records that handlers send one another through the universe's
// queue, and the subscription list that fans one event out to its receivers.
#pragma once

#include <cstdint>
#include <deque>
#include <list>
#include <string>

#include "kernel/object_index.h"

namespace NS_Events {

// One bit per kind, so that a subscription mask can name several.
enum EventKind : std::uint32_t {
    Attached = 1,
    Changed = 2,
    Detached = 4,
    Tick = 8,
    Render = 16,
};

// What happened (kind) to which object, who said so (source) and who is to hear it (target).
struct Event {
    NS_ObjectIndex::ObjectIndex object;
    std::wstring source;
    std::uint32_t kind = 0;
    std::wstring target;
};

// The universe's pending events, consumed first-in first-out.
using EventQueue = std::deque<Event>;

struct Subscription {
    std::uint32_t mask = 0;
    std::wstring name;
};

// Anything that others can subscribe to: handlers and attributes.
class EventsSender {
public:
    EventsSender() = default;
    EventsSender(const EventsSender&) = delete;
    EventsSender& operator=(const EventsSender&) = delete;
    virtual ~EventsSender();

    void Subscribe(std::uint32_t mask, const std::wstring& name);

    // Appends one copy of the event per matching subscription; delivers nothing.
    void Post(const Event& event, EventQueue& queue) const;

    const std::list<Subscription>& Subscriptions() const { return subscriptions; }

private:
    std::list<Subscription> subscriptions;
};

} // namespace NS_Events
