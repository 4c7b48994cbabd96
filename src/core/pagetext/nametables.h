#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

// Names of integer values in page text: colours, font character sets, cursors. A value is
// written by the first name it has in table order; reading accepts every name, in any case.
namespace zl::pagetext {

struct IntegerName {
    std::string_view name;
    std::int64_t value;  // colours as the signed 32-bit value a TColor holds
};

std::span<const IntegerName> ColorNames();
std::span<const IntegerName> CharsetNames();
std::span<const IntegerName> CursorNames();

std::optional<std::string_view> NameOfValue(std::span<const IntegerName> table, std::int64_t value);
std::optional<std::int64_t> ValueOfName(std::span<const IntegerName> table, std::string_view name);

inline std::optional<std::string_view> ColorToIdent(std::int64_t v) { return NameOfValue(ColorNames(), v); }
inline std::optional<std::int64_t> IdentToColor(std::string_view n) { return ValueOfName(ColorNames(), n); }
inline std::optional<std::string_view> CharsetToIdent(std::int64_t v) { return NameOfValue(CharsetNames(), v); }
inline std::optional<std::int64_t> IdentToCharset(std::string_view n) { return ValueOfName(CharsetNames(), n); }
inline std::optional<std::string_view> CursorToIdent(std::int64_t v) { return NameOfValue(CursorNames(), v); }
inline std::optional<std::int64_t> IdentToCursor(std::string_view n) { return ValueOfName(CursorNames(), n); }

}  // namespace zl::pagetext
