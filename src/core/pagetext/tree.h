#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// Page text as a generic object tree: what the text says, before any class gives it meaning.
// The typed layer walks it to set properties and builds it to write a page.
namespace zl::pagetext {

struct Value;
struct Property;

struct IntegerValue {
    std::int64_t value = 0;
    // Digits of a "$" literal as read, so that it is written back the same way; 0 writes decimal.
    std::uint16_t hexDigits = 0;
    bool hexLowercase = false;
};

// True, False, enumeration and colour names, nil, handler names, dotted component references.
struct IdentValue {
    std::string name;
};

// 16-bit character codes, as the reading rule produces them and the String rule consumes them.
struct StringValue {
    std::u16string text;
};

enum class FloatKind : std::uint8_t { Extended, Single, Currency, DateTime };

struct FloatValue {
    // The value itself; a currency holds its real value, not the ten-thousandfold one written.
    long double value = 0;
    FloatKind kind = FloatKind::Extended;
    // The literal as read, suffix included. The writer uses it while it still reads as `value`
    // with the same kind, so a text from elsewhere keeps its digits; otherwise it formats `value`.
    std::string literal;
};

struct SetValue {
    std::vector<std::string> names;
};

struct ListValue {
    std::vector<Value> items;
};

struct CollectionItem {
    std::optional<std::int64_t> index;  // "item [n]"
    std::vector<Property> properties;
    int line = 0;
};

struct CollectionValue {
    std::vector<CollectionItem> items;
};

struct BinaryValue {
    std::vector<std::uint8_t> bytes;
};

struct Value {
    using Variant = std::variant<IntegerValue, IdentValue, StringValue, FloatValue, SetValue,
                                 ListValue, CollectionValue, BinaryValue>;
    Variant data;

    Value() = default;
    template <class T, class = std::enable_if_t<std::is_constructible_v<Variant, T&&>>>
    Value(T&& v) : data(std::forward<T>(v)) {}

    template <class T> bool Is() const { return std::holds_alternative<T>(data); }
    template <class T> const T* If() const { return std::get_if<T>(&data); }
    template <class T> T* If() { return std::get_if<T>(&data); }

    static Value Integer(std::int64_t v) { return IntegerValue{v}; }
    static Value Ident(std::string name) { return IdentValue{std::move(name)}; }
    static Value String(std::u16string text) { return StringValue{std::move(text)}; }
    static Value Float(long double v, FloatKind kind = FloatKind::Extended) {
        return FloatValue{v, kind, {}};
    }
    static Value Set(std::vector<std::string> names) { return SetValue{std::move(names)}; }
    static Value Binary(std::vector<std::uint8_t> bytes) { return BinaryValue{std::move(bytes)}; }
};

struct Property {
    std::string path;  // as written: "Font.Name", "Lines.Strings"
    Value value;
    int line = 0;
};

enum class ObjectKind : std::uint8_t { Object, Inherited, Inline };

struct Object {
    ObjectKind kind = ObjectKind::Object;
    std::string name;  // empty for a header that gives the class name alone
    std::string className;
    std::optional<std::int64_t> childPosition;  // " [n]" after the class name
    std::vector<Property> properties;           // in file order
    std::vector<Object> children;
    int line = 0;
};

}  // namespace zl::pagetext
