#pragma once
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "core/textlist.h"

// Published properties: each streamable class declares them once, in declaration order, and
// the page writer, the page reader and the property dialogs all work from that one table.
namespace zl {

enum class PropKind { Integer, Enum, Set, String, Float, Object, Collection, Strings, Event, Reference, Binary };
enum class FloatType { Extended, Single, Currency, DateTime };
// Integer types whose values have names in page text.
enum class IntNames { None, Color, Cursor, Charset };

struct NameEntry {
    std::string_view name;
    std::int64_t value;
};

// Identifiers of an enumeration (value = ordinal) or of a set's elements (value = bit index).
struct NameTable {
    std::span<const NameEntry> entries;

    std::optional<std::string_view> NameOf(std::int64_t value) const;
    // Identifiers compare without regard to ASCII case, as the framework reads them.
    std::optional<std::int64_t> ValueOf(std::string_view name) const;
};

// One value as a property carries it; which member counts depends on the property's kind.
struct PropValue {
    std::int64_t i = 0;   // Integer, Enum ordinal, Set bit mask
    double f = 0;         // Float
    std::string s;        // String (GBK), Event handler name, Reference name, Binary bytes
    StringList lines;     // Strings

    static PropValue Int(std::int64_t v) { PropValue p; p.i = v; return p; }
    static PropValue Real(double v) { PropValue p; p.f = v; return p; }
    static PropValue Str(std::string v) { PropValue p; p.s = std::move(v); return p; }
    static PropValue List(StringList v) { PropValue p; p.lines = std::move(v); return p; }
};

class Persistent;
class Collection;
struct ClassInfo;

struct PropInfo {
    std::string_view name;  // as written in page files
    PropKind kind = PropKind::Integer;
    const NameTable* names = nullptr;            // Enum and Set identifiers
    std::optional<std::int64_t> ordinalDefault;  // empty: no declared default, always written
    bool (*stored)(const Persistent&) = nullptr;  // e.g. Font only while ParentFont is False
    PropValue (*get)(const Persistent&) = nullptr;
    void (*set)(Persistent&, const PropValue&) = nullptr;
    Persistent* (*object)(Persistent&) = nullptr;  // Object and Collection
    FloatType floatType = FloatType::Extended;
    IntNames intNames = IntNames::None;
    // Integer values outside this range are invalid property values, never cut to fit.
    std::int64_t minimum = INT64_MIN;
    std::int64_t maximum = INT64_MAX;

    bool IsStored(const Persistent& p) const { return !stored || stored(p); }
};

struct ClassInfo {
    std::string_view name;
    const ClassInfo* base = nullptr;
    std::span<const PropInfo> props;   // own published properties, declaration order
    std::span<const PropInfo> extras;  // stored after all published ones (PixelsPerInch, TextHeight)
    class Component* (*create)(class Component* owner) = nullptr;

    bool InheritsFrom(const ClassInfo& other) const;
    // Published properties of the whole chain, base class first.
    std::vector<const PropInfo*> AllProps() const;
    std::vector<const PropInfo*> AllExtras() const;
    // By name, case-insensitively, in the whole chain (published and extras).
    const PropInfo* FindProp(std::string_view name) const;
};

class Persistent {
public:
    virtual ~Persistent() = default;
    virtual const ClassInfo& Class() const = 0;
};

// The items of a collection property, created by the collection itself.
class Collection : public Persistent {
public:
    virtual int Count() const = 0;
    virtual Persistent& Item(int index) = 0;
    virtual Persistent& Add() = 0;
    virtual void Clear() = 0;
};

bool EqualsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace zl
