#pragma once
#include <string>
#include <type_traits>

#include "core/props/propinfo.h"

// Helpers that turn a data member or a getter/setter pair into a property table entry.
namespace zl::decl {

template <class V>
PropValue ToValue(const V& v) {
    if constexpr (std::is_same_v<V, std::string>) return PropValue::Str(v);
    else if constexpr (std::is_same_v<V, StringList>) return PropValue::List(v);
    else if constexpr (std::is_floating_point_v<V>) return PropValue::Real(v);
    else return PropValue::Int(static_cast<std::int64_t>(v));
}

template <class V>
V FromValue(const PropValue& v) {
    if constexpr (std::is_same_v<V, std::string>) return v.s;
    else if constexpr (std::is_same_v<V, StringList>) return v.lines;
    else if constexpr (std::is_floating_point_v<V>) return static_cast<V>(v.f);
    else if constexpr (std::is_same_v<V, bool>) return v.i != 0;
    else return static_cast<V>(v.i);
}

template <class M> struct MemberOf;
template <class C, class V> struct MemberOf<V C::*> { using Class = C; using Value = V; };

template <class F> struct GetterOf;
template <class C, class V> struct GetterOf<V (C::*)() const> { using Class = C; using Value = std::decay_t<V>; };

template <class F> struct SetterOf;
template <class C, class V> struct SetterOf<void (C::*)(V)> { using Class = C; using Value = std::decay_t<V>; };

// T is the class the table belongs to; the member may live in a base of T.
// An integer property takes only what its member can hold.
template <class V>
void LimitTo(PropInfo& p) {
    if constexpr (std::is_integral_v<V> && !std::is_same_v<V, bool>) {
        if (p.kind != PropKind::Integer) return;
        p.minimum = std::numeric_limits<V>::min();
        p.maximum = static_cast<std::int64_t>(std::min<std::uint64_t>(std::numeric_limits<V>::max(), INT64_MAX));
    }
}

template <class T, auto M>
PropInfo Field(std::string_view name, PropKind kind, std::optional<std::int64_t> def = std::nullopt,
               const NameTable* names = nullptr) {
    using V = typename MemberOf<decltype(M)>::Value;
    PropInfo p;
    p.name = name;
    p.kind = kind;
    p.names = names;
    p.ordinalDefault = def;
    p.get = [](const Persistent& o) { return ToValue<V>(static_cast<const T&>(o).*M); };
    p.set = [](Persistent& o, const PropValue& v) { static_cast<T&>(o).*M = FromValue<V>(v); };
    LimitTo<V>(p);
    return p;
}

template <class T, auto G, auto S>
PropInfo Access(std::string_view name, PropKind kind, std::optional<std::int64_t> def = std::nullopt,
                const NameTable* names = nullptr) {
    using V = typename SetterOf<decltype(S)>::Value;
    PropInfo p;
    p.name = name;
    p.kind = kind;
    p.names = names;
    p.ordinalDefault = def;
    p.get = [](const Persistent& o) { return ToValue<typename GetterOf<decltype(G)>::Value>((static_cast<const T&>(o).*G)()); };
    p.set = [](Persistent& o, const PropValue& v) { (static_cast<T&>(o).*S)(FromValue<V>(v)); };
    LimitTo<V>(p);
    return p;
}

// A nested object (Font, Constraints, Picture) or a collection, reached through a getter.
template <class T, auto G>
PropInfo Nested(std::string_view name, PropKind kind = PropKind::Object) {
    PropInfo p;
    p.name = name;
    p.kind = kind;
    p.object = [](Persistent& o) -> Persistent* { return &(static_cast<T&>(o).*G)(); };
    return p;
}

// An event of a component, kept in the component's bindings under its own name: written when
// bound to a published handler of the page class.
inline PropInfo Event(std::string_view name) {
    PropInfo p;
    p.name = name;
    p.kind = PropKind::Event;
    return p;
}
// The name tables of classes written before events were kept use.
inline PropInfo UnboundEvent(std::string_view name) { return Event(name); }

// A published property kept only for the page file's sake (framework settings we do not act on).
inline PropInfo With(PropInfo p, bool (*stored)(const Persistent&)) {
    p.stored = stored;
    return p;
}

inline PropInfo Named(PropInfo p, IntNames names) {
    p.intNames = names;
    // A colour is a 32-bit pattern (00BBGGRR, FF0000nn): "$FF00000F" is a system colour.
    if (names == IntNames::Color) p.maximum = UINT32_MAX;
    return p;
}

// Positions and sizes the window system can place: -32768..32767.
inline PropInfo Ranged(PropInfo p, std::int64_t minimum, std::int64_t maximum) {
    p.minimum = minimum;
    p.maximum = maximum;
    return p;
}

inline PropInfo AsFloat(PropInfo p, FloatType type) {
    p.floatType = type;
    return p;
}

}  // namespace zl::decl
