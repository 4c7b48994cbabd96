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

// An event that no published handler of ours is bound to: declared, never written.
inline PropInfo UnboundEvent(std::string_view name) {
    PropInfo p;
    p.name = name;
    p.kind = PropKind::Event;
    p.get = [](const Persistent&) { return PropValue(); };
    p.set = [](Persistent&, const PropValue&) {};
    return p;
}

// A published property kept only for the page file's sake (framework settings we do not act on).
inline PropInfo With(PropInfo p, bool (*stored)(const Persistent&)) {
    p.stored = stored;
    return p;
}

inline PropInfo Named(PropInfo p, IntNames names) {
    p.intNames = names;
    return p;
}

inline PropInfo AsFloat(PropInfo p, FloatType type) {
    p.floatType = type;
    return p;
}

}  // namespace zl::decl
