// An owner's list of components: order kept through removals anywhere, names found and freed.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/props/component.h"

namespace zl {
namespace {

class Part : public Component {
public:
    explicit Part(Component* owner = nullptr) : Component(owner) {}
    const ClassInfo& Class() const override {
        static const ClassInfo info{"TPart"};
        return info;
    }
};

std::vector<std::string> Names(const Component& owner) {
    std::vector<std::string> out;
    for (const Component* c : owner.Components()) out.push_back(c->Name());
    return out;
}

TEST(ComponentList, RemovalsAnywhereKeepTheOrderOfTheRest) {
    Part owner;
    std::vector<std::unique_ptr<Part>> parts;
    for (const char* name : {"a", "b", "c", "d", "e"}) {
        parts.push_back(std::make_unique<Part>(&owner));
        parts.back()->SetName(name);
    }
    parts[0].reset();  // first
    parts[2].reset();  // middle
    EXPECT_EQ(Names(owner), (std::vector<std::string>{"b", "d", "e"}));
    // Removed before the list is asked for again, then one added: it comes last.
    parts[4].reset();
    parts[1]->ChangeOwner(nullptr);
    auto f = std::make_unique<Part>(&owner);
    f->SetName("f");
    parts[1]->ChangeOwner(&owner);
    EXPECT_EQ(Names(owner), (std::vector<std::string>{"d", "f", "b"}));
    EXPECT_EQ(owner.FindComponent("C"), nullptr);
    EXPECT_EQ(owner.FindComponent("B"), parts[1].get());
    // A name freed by a removal can be taken again.
    auto c = std::make_unique<Part>(&owner);
    EXPECT_NO_THROW(c->SetName("c"));
    EXPECT_THROW(c->SetName("D"), std::exception);
    parts[3].reset();
    EXPECT_EQ(Names(owner), (std::vector<std::string>{"f", "b", "c"}));
}

TEST(ComponentList, AnOwnerGoneFirstLeavesItsPartsFree) {
    auto owner = std::make_unique<Part>();
    Part part(owner.get());
    Part other(owner.get());
    other.ChangeOwner(nullptr);  // leaves a hole the owner's end must step over
    owner.reset();
    EXPECT_EQ(part.Owner(), nullptr);
}

}  // namespace
}  // namespace zl
