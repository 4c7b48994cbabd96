#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "core/props/propinfo.h"

namespace zl {

// A named persistent object with an owner; the owner's list keeps ownership order, which is the
// order components were created or read.
class Component : public Persistent {
public:
    explicit Component(Component* owner = nullptr);
    ~Component() override;
    Component(const Component&) = delete;
    Component& operator=(const Component&) = delete;

    const std::string& Name() const { return name_; }
    // Fails with "A component named %s already exists" when a sibling bears the name.
    void SetName(const std::string& name);
    Component* Owner() const { return owner_; }
    const std::vector<Component*>& Components() const { return components_; }
    Component* FindComponent(std::string_view name) const;

    // Moves the component into another owner's list (at the end).
    void ChangeOwner(Component* owner);

    // The reader brackets a component's values with these: size adjustments and the like wait
    // until every value is in, as the stored order need not suit them.
    void BeginLoad() { loading_ = true; Loading(); }
    void EndLoad() { loading_ = false; Loaded(); }
    bool IsLoading() const { return loading_; }

    // Called when the reader has just created the component, before the file's values.
    virtual void Loading() {}
    // Called once every component of a page has been read.
    virtual void Loaded() {}

private:
    void Insert(Component* child);
    void Remove(Component* child);

    std::string name_;
    bool loading_ = false;
    Component* owner_ = nullptr;
    std::vector<Component*> components_;
};

// Classes a page file may name, in registration order.
void RegisterClass(const ClassInfo& info);
const ClassInfo* FindClass(std::string_view name);
const std::vector<const ClassInfo*>& RegisteredClasses();

}  // namespace zl
