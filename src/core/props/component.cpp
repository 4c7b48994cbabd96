#include "core/props/component.h"

#include <algorithm>

#include "core/error.h"

namespace zl {

Component::Component(Component* owner) {
    if (owner) owner->Insert(this);
}

Component::~Component() {
    // Owned components are freed by whoever holds them (the widget tree); only unlink here.
    for (Component* c : components_) c->owner_ = nullptr;
    if (owner_) owner_->Remove(this);
}

void Component::SetName(const std::string& name) {
    if (name == name_) return;
    if (owner_ && !name.empty()) {
        if (Component* other = owner_->FindComponent(name); other && other != this)
            throw Error(Format("A component named %s already exists", name.c_str()));
    }
    name_ = name;
}

Component* Component::FindComponent(std::string_view name) const {
    for (Component* c : components_)
        if (EqualsIgnoreCase(c->name_, name)) return c;
    return nullptr;
}

void Component::ChangeOwner(Component* owner) {
    if (owner_ == owner) return;
    if (owner_) owner_->Remove(this);
    if (owner) owner->Insert(this);
}

void Component::Insert(Component* child) {
    components_.push_back(child);
    child->owner_ = this;
}

void Component::Remove(Component* child) {
    components_.erase(std::remove(components_.begin(), components_.end(), child), components_.end());
    child->owner_ = nullptr;
}

namespace {

std::vector<const ClassInfo*>& Registry() {
    static std::vector<const ClassInfo*> classes;
    return classes;
}

}  // namespace

void RegisterClass(const ClassInfo& info) {
    auto& r = Registry();
    if (std::find(r.begin(), r.end(), &info) == r.end()) r.push_back(&info);
}

const ClassInfo* FindClass(std::string_view name) {
    for (const ClassInfo* c : Registry())
        if (EqualsIgnoreCase(c->name, name)) return c;
    return nullptr;
}

const std::vector<const ClassInfo*>& RegisteredClasses() { return Registry(); }

}  // namespace zl
