#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "core/pagetext/tree.h"

// Number literals of page text and the number forms the writer produces. The decimal
// separator is always ".", whatever the locale.
namespace zl::pagetext {

// "$" + hexadecimal digits (up to 64 bits, the top bit giving a negative value), or an optional
// "-" and decimal digits within 64 bits. Empty when the literal does not convert.
std::optional<IntegerValue> ParseIntegerLiteral(std::string_view literal);

// A floating-point literal with its optional "s", "c" or "d" suffix (either case); the kind
// follows the suffix and a currency's value is the literal divided by 10000.
std::optional<FloatValue> ParseFloatLiteral(std::string_view literal);

// Extended: fixed-point with 18 digits after the point at 16 significant digits. Single,
// currency, date-time: general format with up to 15 significant digits and the suffix, a
// single rounded to single precision first and a currency written as its value times 10000.
// Throws zl::Error for a value that is not finite, since no reader could take it back.
std::string FormatFloat(long double value, FloatKind kind);

}  // namespace zl::pagetext
