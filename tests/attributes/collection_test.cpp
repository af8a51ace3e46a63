#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "attributes/attributes_collection.h"
#include "tests/support/scripted_model.h"

using NS_AttributesCollection::AttributesCollection;
using NS_AttributesCollection::AttributesCollectionElement;
using velmora_test::ThrowsPointerTo;

namespace {

// An element that writes its name into a shared log when it is destroyed.
class Named : public AttributesCollectionElement {
public:
    Named(std::wstring n, std::shared_ptr<std::vector<std::wstring>> log = nullptr)
        : name(std::move(n)), deaths(std::move(log))
    {
    }
    ~Named() override
    {
        if (deaths) {
            deaths->push_back(name);
        }
    }
    const std::wstring& GetName() const override { return name; }

private:
    std::wstring name;
    std::shared_ptr<std::vector<std::wstring>> deaths;
};

std::vector<std::wstring> NamesOf(const AttributesCollection& collection)
{
    std::vector<AttributesCollectionElement*> all;
    collection.GetAll(all);
    std::vector<std::wstring> names;
    for (auto* e : all) {
        names.push_back(e->GetName());
    }
    return names;
}

} // namespace

TEST(AttributesCollection, OrdersNamesByCodeUnitWithPrefixFirst)
{
    AttributesCollection c;
    for (const wchar_t* n : {L"Rain", L"ObjectIndex", L"DropsManager", L"Loader", L"Drop"}) {
        c.Add(new Named(n));
    }
    EXPECT_EQ(NamesOf(c), (std::vector<std::wstring>{L"Drop", L"DropsManager", L"Loader", L"ObjectIndex", L"Rain"}));
}

TEST(AttributesCollection, IsCaseSensitiveAndAcceptsTheEmptyNameFirst)
{
    AttributesCollection c;
    c.Add(new Named(L"drop"));
    c.Add(new Named(L"Drop"));
    c.Add(new Named(L""));
    // Upper case sorts before lower case; a code unit above 0x7F sorts after both.
    c.Add(new Named(L"\x00e9"));
    EXPECT_EQ(NamesOf(c), (std::vector<std::wstring>{L"", L"Drop", L"drop", L"\x00e9"}));
}

TEST(AttributesCollection, RefusesADuplicateAndLeavesTheFirstInPlace)
{
    auto deaths = std::make_shared<std::vector<std::wstring>>();
    AttributesCollection c;
    auto* first = new Named(L"Drop", deaths);
    c.Add(first);
    auto second = std::make_unique<Named>(L"Drop", deaths);
    EXPECT_TRUE(ThrowsPointerTo<NS_AttributesCollection::Exception>([&] { c.Add(second.get()); }));
    EXPECT_EQ(c.Find(L"Drop"), first);
    EXPECT_EQ(c.Count(), 1u);
    EXPECT_TRUE(deaths->empty()); // the refused element still belongs to the caller
}

TEST(AttributesCollection, RemoveDestroysTheElementAndRefusesAMissingName)
{
    auto deaths = std::make_shared<std::vector<std::wstring>>();
    AttributesCollection c;
    c.Add(new Named(L"Drop", deaths));
    c.Add(new Named(L"Rain", deaths));
    EXPECT_TRUE(ThrowsPointerTo<NS_AttributesCollection::Exception>([&] { c.Remove(L"Loader"); }));
    EXPECT_TRUE(deaths->empty());
    c.Remove(L"Drop");
    EXPECT_EQ(*deaths, std::vector<std::wstring>{L"Drop"});
    EXPECT_EQ(c.Find(L"Drop"), nullptr);
    EXPECT_NE(c.Find(L"Rain"), nullptr);
}

TEST(AttributesCollection, GetAllReplacesWhatTheListHeld)
{
    AttributesCollection empty;
    std::vector<AttributesCollectionElement*> list{nullptr, nullptr};
    empty.GetAll(list);
    EXPECT_TRUE(list.empty());

    AttributesCollection c;
    c.Add(new Named(L"Rain"));
    c.Add(new Named(L"ObjectIndex"));
    c.Add(new Named(L"Drop"));
    list.assign(5, nullptr);
    c.GetAll(list);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0]->GetName(), L"Drop");
    EXPECT_EQ(list[2]->GetName(), L"Rain");
}

TEST(AttributesCollection, DestroysItsElementsInNameOrder)
{
    auto deaths = std::make_shared<std::vector<std::wstring>>();
    {
        AttributesCollection c;
        c.Add(new Named(L"Rain", deaths));
        c.Add(new Named(L"Drop", deaths));
        c.Add(new Named(L"Loader", deaths));
    }
    EXPECT_EQ(*deaths, (std::vector<std::wstring>{L"Drop", L"Loader", L"Rain"}));
    deaths->clear();
    {
        AttributesCollection nothing;
    }
    EXPECT_TRUE(deaths->empty());
}
