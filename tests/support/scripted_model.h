// Test doubles: a handler that records what reaches it and can be told what to do
// on each event, and an initial model that supplies such handlers.
#pragma once

#include <functional>
#include <list>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "attributes/value_handler.h"
#include "kernel/initial_model.h"

namespace velmora_test {

// What one handler saw, shared with the test so that it outlives the handler.
struct Journal {
    struct Entry {
        std::wstring handler;
        std::uint32_t kind;
        std::wstring source;
        std::int64_t stamp;
        std::thread::id thread;
    };
    std::vector<Entry> entries;
    std::vector<std::wstring> inits;
    std::vector<std::wstring> destroyed;
    std::thread::id initThread;

    std::size_t Count(std::uint32_t kind) const
    {
        std::size_t n = 0;
        for (const Entry& e : entries) {
            n += e.kind == kind ? 1 : 0;
        }
        return n;
    }
};

class TestValue : public NS_Attribute::AttributeValue {
public:
    int number = 0;
};

class ScriptedHandler : public NS_AttributeHandler::ValueHandler<TestValue> {
public:
    using Reaction = std::function<void(ScriptedHandler&, const NS_Events::Event&)>;

    ScriptedHandler(NS_AttributeHandler::UniverseForHandler* u, std::wstring handlerName,
                    std::shared_ptr<Journal> sharedJournal)
        : ValueHandler(u), journal(std::move(sharedJournal))
    {
        name = std::move(handlerName);
    }
    ~ScriptedHandler() override
    {
        try {
            journal->destroyed.push_back(name);
        } catch (const std::bad_alloc&) {
            // Only the allocation-failure tests get here, and they do not read it.
        }
    }

    void Init() override
    {
        journal->inits.push_back(name);
        journal->initThread = std::this_thread::get_id();
        if (onInit) {
            onInit(*this);
        }
    }
    void Handle(const NS_Events::Event& event) override
    {
        journal->entries.push_back({name, event.kind, event.source, event.object.stamp, std::this_thread::get_id()});
        if (onEvent) {
            onEvent(*this, event);
        }
    }

    void Detach(const NS_ObjectIndex::ObjectIndex& reference) override
    {
        ValueHandler::Detach(reference);
        if (onDetach) {
            onDetach(*this, reference);
        }
    }

    // Exposed for the tests of the handler base.
    using AttributeHandler::AttachValue;
    using AttributeHandler::SendEvent;
    NS_AttributeHandler::UniverseForHandler* Universe() const { return universe; }

    std::function<void(ScriptedHandler&)> onInit;
    Reaction onEvent;
    std::function<void(ScriptedHandler&, const NS_ObjectIndex::ObjectIndex&)> onDetach; // after a successful Detach
    std::shared_ptr<Journal> journal;
};

// Supplies one ScriptedHandler per name, in the order given.
class ScriptedModel : public NS_InitialModel::InitialModel {
public:
    explicit ScriptedModel(std::vector<std::wstring> handlerNames,
                           std::shared_ptr<Journal> sharedJournal = std::make_shared<Journal>())
        : names(std::move(handlerNames)), journal(std::move(sharedJournal))
    {
    }

    void CreateHandlers(std::list<NS_AttributeHandler::AttributeHandler*>& handlers) override
    {
        created.clear();
        // Leak-free when an allocation fails: the list owns each handler first.
        for (const std::wstring& n : names) {
            auto handler = std::make_unique<ScriptedHandler>(universe, n, journal);
            if (configure) {
                configure(*handler);
            }
            handlers.push_back(handler.get());
            created.push_back(handler.release());
        }
    }

    ScriptedHandler* Handler(const std::wstring& n) const
    {
        for (ScriptedHandler* h : created) {
            if (h->GetName() == n) {
                return h;
            }
        }
        return nullptr;
    }

    std::vector<std::wstring> names;
    std::shared_ptr<Journal> journal;
    std::function<void(ScriptedHandler&)> configure; // runs on each handler as it is made
    std::vector<ScriptedHandler*> created;
};

// Runs a statement and checks that it throws a pointer to E, deleting it.
template <typename E, typename F> bool ThrowsPointerTo(F&& statement)
{
    try {
        statement();
    } catch (E* thrown) {
        delete thrown;
        return true;
    } catch (...) {
        return false;
    }
    return false;
}

} // namespace velmora_test
