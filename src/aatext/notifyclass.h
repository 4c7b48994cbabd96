#pragma once
#include <functional>

#include "core/props/propinfo.h"

namespace zl {

// A persistent sub-object that tells its owner about changes through a change handler.
class TNotifyClass : public Persistent {
public:
    using ChangeHandler = std::function<void(TNotifyClass& sender)>;

    explicit TNotifyClass(ChangeHandler onChange = {}) : onChange_(std::move(onChange)) {}
    TNotifyClass(const TNotifyClass&) = delete;
    TNotifyClass& operator=(const TNotifyClass&) = delete;

    static const ClassInfo& StaticClass();
    const ClassInfo& Class() const override { return StaticClass(); }

    // Copies nothing at this level; copying never notifies.
    virtual void Assign(const TNotifyClass& source) {}
    // Fires the change handler with this object as sender.
    virtual void Changed();
    // The handler given to sub-objects: their changes are this object's changes.
    void ChildChanged(TNotifyClass&) { Changed(); }

    void SetOnChange(ChangeHandler onChange) { onChange_ = std::move(onChange); }
    // The persistent owner (a font label sets itself as the owner of its effect).
    Persistent* Owner() const { return owner_; }
    void SetOwner(Persistent* owner) { owner_ = owner; }

protected:
    void FireChange() {
        if (onChange_) onChange_(*this);
    }
    ChangeHandler ChildHandler() {
        return [this](TNotifyClass& sender) { ChildChanged(sender); };
    }
    // Stores a different value and calls Changed; an equal value does nothing.
    template <class V>
    void Update(V& field, V value) {
        if (field == value) return;
        field = value;
        Changed();
    }

private:
    ChangeHandler onChange_;
    Persistent* owner_ = nullptr;
};

// A switchable sub-effect: changes of its settings are told only while it is enabled, while
// switching it on or off is always told.
class TEnabledClass : public TNotifyClass {
public:
    using TNotifyClass::TNotifyClass;

    static const ClassInfo& StaticClass();
    const ClassInfo& Class() const override { return StaticClass(); }

    void Assign(const TNotifyClass& source) override;
    void Changed() override;

    bool Enabled() const { return enabled_; }
    virtual void SetEnabled(bool enabled);

private:
    bool enabled_ = false;
};

}  // namespace zl
