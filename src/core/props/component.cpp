#include "core/props/component.h"

#include <absl/container/flat_hash_map.h>

#include <algorithm>

#include "core/error.h"

namespace zl {

struct Component::NameIndex {
    absl::flat_hash_map<std::string, Component*> names;
};

Component::Component(Component* owner) {
    if (owner) owner->Insert(this);
}

Component::~Component() {
    // Owned components are freed by whoever holds them (the widget tree); only unlink here.
    for (Component* c : components_)
        if (c) c->owner_ = nullptr;
    if (owner_) owner_->Remove(this);
}

namespace {

std::string LowerCase(std::string_view name) {
    std::string key(name);
    for (char& c : key)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return key;
}

}  // namespace

void Component::SetName(const std::string& name) {
    if (name == name_) return;
    if (owner_ && !name.empty()) {
        if (Component* other = owner_->FindComponent(name); other && other != this)
            throw Error(Format("A component named %s already exists", name.c_str()));
    }
    if (owner_) owner_->Unindex(this);
    name_ = name;
    if (owner_) owner_->Index(this);
}

Component* Component::FindComponent(std::string_view name) const {
    if (name.empty() || !byName_) return nullptr;
    const auto it = byName_->names.find(LowerCase(name));
    return it == byName_->names.end() ? nullptr : it->second;
}

const std::string& Component::EventHandler(std::string_view event) const {
    static const std::string none;
    const auto it = events_.find(event);
    return it == events_.end() ? none : it->second;
}

void Component::BindEvent(std::string_view event, const std::string& handler) {
    if (handler.empty()) {
        if (auto it = events_.find(event); it != events_.end()) events_.erase(it);
    } else {
        events_[std::string(event)] = handler;
    }
}

void Component::Index(Component* child) {
    // Names differing only in case clash, so one entry per key is enough.
    if (child->name_.empty()) return;
    if (!byName_) byName_ = std::make_unique<NameIndex>();
    byName_->names.emplace(LowerCase(child->name_), child);
}

void Component::Unindex(Component* child) {
    if (child->name_.empty() || !byName_) return;
    const auto it = byName_->names.find(LowerCase(child->name_));
    if (it != byName_->names.end() && it->second == child) byName_->names.erase(it);
}

void Component::ChangeOwner(Component* owner) {
    if (owner_ == owner) return;
    if (owner_) owner_->Remove(this);
    if (owner) owner->Insert(this);
}

const std::vector<Component*>& Component::Components() const {
    if (holes_ > 0) {
        components_.erase(std::remove(components_.begin(), components_.end(), nullptr), components_.end());
        for (size_t i = 0; i < components_.size(); ++i) components_[i]->slot_ = i;
        holes_ = 0;
    }
    return components_;
}

void Component::Insert(Component* child) {
    child->slot_ = components_.size();
    components_.push_back(child);
    child->owner_ = this;
    Index(child);
}

void Component::Remove(Component* child) {
    Unindex(child);
    child->owner_ = nullptr;
    if (child->slot_ >= components_.size() || components_[child->slot_] != child) {
        const auto it = std::find(components_.begin(), components_.end(), child);
        if (it == components_.end()) return;
        child->slot_ = static_cast<size_t>(it - components_.begin());
    }
    if (child->slot_ + 1 == components_.size()) {
        components_.pop_back();
    } else {
        components_[child->slot_] = nullptr;
        ++holes_;
    }
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
