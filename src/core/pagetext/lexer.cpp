#include "core/pagetext/lexer.h"

#include <array>
#include <cstring>

#include "core/codepage.h"
#include "core/error.h"

namespace zl::pagetext {
namespace {

enum : std::uint8_t { kIdentStart = 1, kIdentPart = 2, kDigit = 4, kHex = 8, kFloatPart = 16 };

constexpr auto kClasses = [] {
    std::array<std::uint8_t, 256> t{};
    for (int c = 'A'; c <= 'Z'; ++c) t[c] |= kIdentStart | kIdentPart;
    for (int c = 'a'; c <= 'z'; ++c) t[c] |= kIdentStart | kIdentPart;
    t['_'] |= kIdentStart | kIdentPart;
    for (int c = '0'; c <= '9'; ++c) t[c] |= kIdentPart | kDigit | kHex | kFloatPart;
    for (int c = 'A'; c <= 'F'; ++c) t[c] |= kHex;
    for (int c = 'a'; c <= 'f'; ++c) t[c] |= kHex;
    for (char c : {'.', 'e', 'E', '+', '-'}) t[static_cast<unsigned char>(c)] |= kFloatPart;
    return t;
}();

inline bool Has(char c, std::uint8_t cls) { return kClasses[static_cast<unsigned char>(c)] & cls; }

int HexValue(char c) {
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

bool IsFloatSuffix(char c) {
    switch (c) {
        case 's': case 'S': case 'c': case 'C': case 'd': case 'D': return true;
        default: return false;
    }
}

}  // namespace

Lexer::Lexer(std::string_view text) : p_(text.data()), end_(text.data() + text.size()) {
    if (text.empty()) return;
    if (const void* zero = std::memchr(p_, 0, text.size())) end_ = static_cast<const char*>(zero);
    CheckLine(p_);
}

void Lexer::Fail(std::string_view message) const {
    throw Error(Format("%.*s on line %d", static_cast<int>(message.size()), message.data(), line_));
}

void Lexer::CheckLine(const char* start) const {
    if (static_cast<std::size_t>(end_ - start) <= kReadBufferSize) return;
    if (!std::memchr(start, '\n', kReadBufferSize)) Fail("Line too long");
}

void Lexer::SkipBlanks() {
    while (p_ < end_) {
        const unsigned char c = *p_;
        if (c > ' ') return;
        ++p_;
        if (c == '\n') {
            ++line_;
            CheckLine(p_);
        }
    }
}

const Token& Lexer::Next() {
    SkipBlanks();
    token_.line = line_;
    token_.wide = token_.highBytes = false;
    const char* start = p_;
    if (p_ == end_) {
        token_.kind = TokenKind::End;
        token_.ch = 0;
        token_.text = {};
        return token_;
    }
    const char c = *p_;
    if (Has(c, kIdentStart)) {
        ++p_;
        while (p_ < end_ && Has(*p_, kIdentPart)) ++p_;
        token_.kind = TokenKind::Symbol;
    } else if (c == '#' || c == '\'') {
        ScanString();
        token_.kind = TokenKind::String;
    } else if (c == '$') {
        ++p_;
        while (p_ < end_ && Has(*p_, kHex)) ++p_;
        token_.kind = TokenKind::Integer;
    } else if (c == '-' || Has(c, kDigit)) {
        ++p_;
        while (p_ < end_ && Has(*p_, kDigit)) ++p_;
        token_.kind = TokenKind::Integer;
        while (p_ < end_ && Has(*p_, kFloatPart)) {
            ++p_;
            token_.kind = TokenKind::Float;
        }
        if (p_ < end_ && IsFloatSuffix(*p_)) {
            ++p_;
            token_.kind = TokenKind::Float;
        }
    } else {
        ++p_;
        token_.kind = TokenKind::Char;
    }
    token_.ch = c;
    token_.text = std::string_view(start, p_ - start);
    return token_;
}

// Quoted runs and "#" codes written next to each other; only validated here, decoded on demand.
void Lexer::ScanString() {
    for (;;) {
        if (p_ < end_ && *p_ == '#') {
            ++p_;
            const char* digits = p_;
            unsigned code = 0;
            while (p_ < end_ && Has(*p_, kDigit)) {
                code = code * 10 + (*p_ - '0');
                // A character code is 16 bits; anything larger is no character.
                if (code > 0xFFFF) Fail("Invalid string constant");
                ++p_;
            }
            if (p_ == digits) Fail("Invalid string constant");
            if (code > 127) token_.wide = true;
        } else if (p_ < end_ && *p_ == '\'') {
            ++p_;
            for (;;) {
                if (p_ == end_ || *p_ == '\n' || *p_ == '\r') Fail("Invalid string constant");
                const char c = *p_++;
                if (c == '\'') {
                    if (p_ < end_ && *p_ == '\'') {
                        ++p_;
                        continue;
                    }
                    break;
                }
                if (static_cast<unsigned char>(c) >= 0x80) token_.highBytes = true;
            }
        } else {
            return;
        }
    }
}

void Lexer::AppendString(std::u16string& out) const {
    const std::string_view text = token_.text;
    const bool wide = token_.wide;
    const bool high = token_.highBytes;
    // Without a code above 127 the whole token is text in the ANSI code page, converted at once.
    // With one, the codes are 16-bit units, and quoted runs are still decoded from the code page
    // so that GBK written inside quotes does not turn into Latin-1 beside a code.
    std::string bytes;
    const auto code = [&](unsigned c) {
        if (!wide && high)
            bytes += static_cast<char>(c);
        else
            out += static_cast<char16_t>(c);
    };
    // A doubled quote splits a run; GBK trail bytes are never a quote, so no character is split.
    const auto run = [&](std::string_view piece) {
        if (!high)
            out.append(piece.begin(), piece.end());
        else if (wide)
            out += GbkToUtf16(piece);
        else
            bytes.append(piece);
    };
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '#') {
            unsigned c = 0;
            for (++i; i < text.size() && Has(text[i], kDigit); ++i) c = c * 10 + (text[i] - '0');
            code(c);
            continue;
        }
        // A quoted run, closed: the scan has checked that.
        std::size_t start = ++i;
        for (;;) {
            const std::size_t quote = text.find('\'', i);
            if (quote + 1 < text.size() && text[quote + 1] == '\'') {
                run(text.substr(start, quote + 1 - start));
                i = start = quote + 2;
                continue;
            }
            run(text.substr(start, quote - start));
            i = quote + 1;
            break;
        }
    }
    if (!bytes.empty()) out += GbkToUtf16(bytes);
}

std::string_view Lexer::ExtendDotted() {
    const char* start = token_.text.data();
    while (p_ < end_ && *p_ == '.') {
        ++p_;
        if (p_ == end_ || !Has(*p_, kIdentStart)) Fail("Identifier expected");
        while (p_ < end_ && Has(*p_, kIdentPart)) ++p_;
    }
    token_.text = std::string_view(start, p_ - start);
    return token_.text;
}

void Lexer::ReadBinary(std::vector<std::uint8_t>& out) {
    SkipBlanks();
    while (p_ == end_ || *p_ != '}') {
        const char* run = p_;
        while (run < end_ && Has(*run, kHex)) ++run;
        // Whole pairs only; a digit left over fails when the next run starts with it.
        const std::size_t pairs = (run - p_) / 2;
        if (pairs == 0) Fail("Invalid binary value");
        const std::size_t at = out.size();
        out.resize(at + pairs);
        for (std::size_t i = 0; i < pairs; ++i, p_ += 2)
            out[at + i] = static_cast<std::uint8_t>(HexValue(p_[0]) << 4 | HexValue(p_[1]));
        SkipBlanks();
    }
    ++p_;
}

}  // namespace zl::pagetext
