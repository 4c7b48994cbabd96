#include "core/pagetext/numbers.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

#include "core/error.h"

namespace zl::pagetext {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool IsFloatChar(char c) {
    return (c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-';
}

// A positive finite value as `precision` significant digits and the decimal exponent of the
// first one (value = d.ddd x 10^exponent), rounded once, to nearest.
struct Digits {
    std::string digits;
    int exponent = 0;
};

Digits Significant(long double value, int precision) {
    char buffer[128];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, precision - 1);
    Digits out;
    const char* p = buffer;
    for (; p < result.ptr && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9') out.digits += *p;
    if (p < result.ptr) std::from_chars(p + (p[1] == '+' ? 2 : 1), result.ptr, out.exponent);
    return out;
}

// The framework's general format: fixed-point while the point stays within the significant
// digits and the value is at least 0.0001, otherwise "d.dddE[-]x"; trailing zeros dropped.
std::string General(long double value, int precision) {
    if (value == 0) return "0";
    Digits d = Significant(std::fabs(value), precision);
    while (d.digits.size() > 1 && d.digits.back() == '0') d.digits.pop_back();
    std::string out = value < 0 ? "-" : "";
    const int point = d.exponent + 1;  // digits before the decimal point
    if (point > precision || point < -3) {
        out += d.digits[0];
        if (d.digits.size() > 1) {
            out += '.';
            out.append(d.digits, 1);
        }
        out += 'E';
        out += std::to_string(d.exponent);
        return out;
    }
    if (point <= 0) {
        out += "0.";
        out.append(-point, '0');
        out += d.digits;
        return out;
    }
    if (static_cast<int>(d.digits.size()) < point) d.digits.append(point - d.digits.size(), '0');
    out.append(d.digits, 0, point);
    if (static_cast<int>(d.digits.size()) > point) {
        out += '.';
        out.append(d.digits, point);
    }
    return out;
}

std::string DropNegativeZero(std::string text) {
    if (!text.empty() && text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos)
        text.erase(0, 1);
    return text;
}

// Fixed-point with 18 decimals at 16 significant digits, whichever cuts first.
std::string Extended(long double value) {
    constexpr int kPrecision = 16, kDecimals = 18;
    if (value == 0) return "0.000000000000000000";
    const Digits d = Significant(std::fabs(value), kPrecision);
    const int point = d.exponent + 1;
    if (point > kPrecision) return General(value, kPrecision);
    if (kPrecision - point > kDecimals) {
        char buffer[128];
        const auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, kDecimals);
        return DropNegativeZero(std::string(buffer, r.ptr));
    }
    std::string out = value < 0 ? "-" : "";
    if (point > 0)
        out.append(d.digits, 0, point);
    else
        out += '0';
    out += '.';
    for (int i = 0; i < kDecimals; ++i) {
        const int index = point + i;
        out += index >= 0 && index < kPrecision ? d.digits[index] : '0';
    }
    return out;
}

}  // namespace

std::optional<IntegerValue> ParseIntegerLiteral(std::string_view literal) {
    IntegerValue out;
    if (!literal.empty() && literal[0] == '$') {
        const std::string_view digits = literal.substr(1);
        if (digits.empty() || digits.size() > std::numeric_limits<std::uint16_t>::max()) return {};
        std::uint64_t value = 0;
        for (char c : digits) {
            const int digit = HexDigit(c);
            if (digit < 0 || value > (std::numeric_limits<std::uint64_t>::max() >> 4)) return {};
            value = value << 4 | static_cast<unsigned>(digit);
            if (c >= 'a') out.hexLowercase = true;
        }
        out.value = static_cast<std::int64_t>(value);
        out.hexDigits = static_cast<std::uint16_t>(digits.size());
        return out;
    }
    const bool negative = !literal.empty() && literal[0] == '-';
    const std::string_view digits = literal.substr(negative ? 1 : 0);
    if (digits.empty()) return {};
    const std::uint64_t limit = negative ? std::uint64_t{1} << 63 : (std::uint64_t{1} << 63) - 1;
    std::uint64_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return {};
        const unsigned digit = c - '0';
        if (value > (limit - digit) / 10) return {};
        value = value * 10 + digit;
    }
    out.value = negative ? static_cast<std::int64_t>(0 - value) : static_cast<std::int64_t>(value);
    return out;
}

std::optional<FloatValue> ParseFloatLiteral(std::string_view literal) {
    FloatValue out;
    out.literal = std::string(literal);
    std::string_view body = literal;
    if (!body.empty()) {
        switch (body.back()) {
            case 's': case 'S': out.kind = FloatKind::Single; break;
            case 'c': case 'C': out.kind = FloatKind::Currency; break;
            case 'd': case 'D': out.kind = FloatKind::DateTime; break;
            default: break;
        }
        if (out.kind != FloatKind::Extended) body.remove_suffix(1);
    }
    // The alphabet check keeps out "inf", "nan" and hexadecimal forms that from_chars knows.
    if (body.empty() || body[0] == '+') return {};
    for (char c : body)
        if (!IsFloatChar(c)) return {};
    const auto result = std::from_chars(body.data(), body.data() + body.size(), out.value);
    if (result.ec != std::errc() || result.ptr != body.data() + body.size()) return {};
    if (out.kind == FloatKind::Currency) out.value /= 10000;
    return out;
}

std::string FormatFloat(long double value, FloatKind kind) {
    if (!std::isfinite(value)) throw Error("Invalid floating point value");
    switch (kind) {
        case FloatKind::Extended:
            return Extended(value);
        case FloatKind::Single:
            // From half a unit above the largest single on, the value rounds to infinity.
            if (std::fabs(value) >= 0x1.ffffffp127L) throw Error("Invalid floating point value");
            return General(static_cast<float>(value), 15) + 's';
        case FloatKind::Currency: {
            // A currency is a count of ten-thousandths; the framework rounds half to even.
            const long double scaled = std::nearbyint(value * 10000);
            if (!std::isfinite(scaled)) throw Error("Invalid floating point value");
            return General(scaled, 15) + 'c';
        }
        case FloatKind::DateTime:
            return General(value, 15) + 'd';
    }
    return {};
}

}  // namespace zl::pagetext
