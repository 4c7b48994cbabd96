#pragma once
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
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
    const std::vector<Component*>& Components() const;
    // By name, ignoring ASCII case, through a table: a page of many widgets loads in linear time.
    // Unnamed components are never found, so they never clash.
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

    // Event name ("OnClick") to the published handler of the page class it is bound to
    // ("FormDblClick"); what page files store for events.
    const std::string& EventHandler(std::string_view event) const;
    void BindEvent(std::string_view event, const std::string& handler);
    const std::map<std::string, std::string, std::less<>>& Events() const { return events_; }

private:
    void Insert(Component* child);
    void Remove(Component* child);
    void Index(Component* child);
    void Unindex(Component* child);

    std::string name_;
    bool loading_ = false;
    Component* owner_ = nullptr;
    // A removed component leaves a hole, closed the next time the list is asked for: removing
    // thousands of widgets one by one (an undone paste, a closed page) then stays linear.
    mutable std::vector<Component*> components_;
    mutable size_t holes_ = 0;
    size_t slot_ = 0;  // this component's place in its owner's list
    // Lower-case name to owned component, made with the first named one. An open-addressing
    // table: removing thousands of widgets touches one slot each rather than a chain of nodes
    // spread over the heap, so it stays linear once the page no longer fits in the cache.
    struct NameIndex;
    std::unique_ptr<NameIndex> byName_;
    std::map<std::string, std::string, std::less<>> events_;
};

// Classes a page file may name, in registration order.
void RegisterClass(const ClassInfo& info);
const ClassInfo* FindClass(std::string_view name);
const std::vector<const ClassInfo*>& RegisteredClasses();

}  // namespace zl
