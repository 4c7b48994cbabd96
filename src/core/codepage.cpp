#include "core/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <stdexcept>

namespace zl {
namespace {

// iconv descriptors are reused; a mutex keeps their shift state from being shared across threads.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    }
    ~Converter() { iconv_close(cd_); }

    // Converts in bytes; on an unconvertible or invalid input unit, emits `replacement`
    // and skips the bytes `unit` gives for the rest of the input (at least one).
    template <class Unit>
    std::string Run(std::string_view in, std::string_view replacement, Unit unit) {
        std::lock_guard<std::mutex> lock(mutex_);
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        std::string out;
        out.resize(in.size() * 2 + 16);
        char* src = const_cast<char*>(in.data());
        size_t srcLeft = in.size();
        size_t used = 0;
        while (srcLeft > 0) {
            char* dst = out.data() + used;
            size_t dstLeft = out.size() - used;
            const size_t rc = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            used = out.size() - dstLeft;
            if (rc != static_cast<size_t>(-1))
                break;
            if (errno == E2BIG) {
                out.resize(out.size() * 2);
                continue;
            }
            // EILSEQ or EINVAL (truncated sequence at the end): replace one unit and go on.
            const size_t skip = std::clamp<size_t>(unit(std::string_view(src, srcLeft)), 1, srcLeft);
            src += skip;
            srcLeft -= skip;
            if (out.size() - used < replacement.size())
                out.resize(out.size() * 2 + replacement.size());
            out.replace(used, replacement.size(), replacement);
            used += replacement.size();
        }
        out.resize(used);
        return out;
    }

private:
    iconv_t cd_;
    std::mutex mutex_;
};

Converter& Utf8ToGbkConv() { static Converter c("CP936", "UTF-8"); return c; }
Converter& GbkToUtf8Conv() { static Converter c("UTF-8", "CP936"); return c; }

bool IsAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

// A UTF-8 sequence length from its lead byte; bad leads count as one byte.
size_t Utf8Length(unsigned char c) {
    if (c < 0x80) return 1;
    if ((c & 0xE0) == 0xC0) return 2;
    if ((c & 0xF0) == 0xE0) return 3;
    if ((c & 0xF8) == 0xF0) return 4;
    return 1;
}

}  // namespace

std::string Utf8ToGbk(std::string_view utf8) {
    if (IsAscii(utf8)) return std::string(utf8);
    // A character iconv cannot map: its whole UTF-8 sequence becomes one "?".
    return Utf8ToGbkConv().Run(utf8, "?", [](std::string_view rest) {
        return std::min(Utf8Length(static_cast<unsigned char>(rest[0])), rest.size());
    });
}

std::string GbkToUtf8(std::string_view gbk) {
    if (IsAscii(gbk)) return std::string(gbk);
    return GbkToUtf8Conv().Run(gbk, "?", [](std::string_view) { return size_t{1}; });
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const unsigned char c = utf8[i];
        size_t len = Utf8Length(c);
        char32_t cp;
        if (len == 1 || i + len > utf8.size()) {
            cp = c < 0x80 ? c : U'?';
            len = 1;
        } else {
            cp = c & (0xFF >> (len + 1));
            for (size_t k = 1; k < len; ++k) cp = (cp << 6) | (utf8[i + k] & 0x3F);
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += len;
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (size_t i = 0; i < utf16.size(); ++i) {
        char32_t cp = utf16[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::u16string GbkToUtf16(std::string_view gbk) {
    if (IsAscii(gbk)) return std::u16string(gbk.begin(), gbk.end());
    return Utf8ToUtf16(GbkToUtf8(gbk));
}

std::string Utf16ToGbk(std::u16string_view utf16) {
    bool ascii = true;
    for (char16_t c : utf16)
        if (c >= 0x80) { ascii = false; break; }
    if (ascii) return std::string(utf16.begin(), utf16.end());
    return Utf8ToGbk(Utf16ToUtf8(utf16));
}

bool IsValidUtf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    for (size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t len;
        unsigned char lo = 0x80, hi = 0xBF;  // the second byte's range
        if (c >= 0xC2 && c <= 0xDF) len = 2;
        else if (c == 0xE0) len = 3, lo = 0xA0;
        else if (c == 0xED) len = 3, hi = 0x9F;  // no surrogates
        else if (c >= 0xE1 && c <= 0xEF) len = 3;
        else if (c == 0xF0) len = 4, lo = 0x90;
        else if (c >= 0xF1 && c <= 0xF3) len = 4;
        else if (c == 0xF4) len = 4, hi = 0x8F;
        else return false;
        if (i + len > n || p[i + 1] < lo || p[i + 1] > hi) return false;
        for (size_t k = 2; k < len; ++k)
            if ((p[i + k] & 0xC0) != 0x80) return false;
        i += len;
    }
    return true;
}

namespace {

std::u16string Utf16Units(std::string_view bytes, bool bigEndian) {
    std::u16string out(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < out.size(); ++i) {
        const auto a = static_cast<unsigned char>(bytes[2 * i]), b = static_cast<unsigned char>(bytes[2 * i + 1]);
        out[i] = static_cast<char16_t>(bigEndian ? (a << 8 | b) : (b << 8 | a));
    }
    // A lone last byte is no character.
    if (bytes.size() % 2) out += u'?';
    return out;
}

}  // namespace

std::string TextFileToGbk(std::string_view bytes) {
    const auto starts = [&](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
    if (starts("\xEF\xBB\xBF")) return Utf8ToGbk(bytes.substr(3));
    if (starts("\xFF\xFE")) return Utf16ToGbk(Utf16Units(bytes.substr(2), false));
    if (starts("\xFE\xFF")) return Utf16ToGbk(Utf16Units(bytes.substr(2), true));
    // Plain ASCII reads the same either way; GBK text is almost never valid UTF-8.
    if (IsAscii(bytes) || !IsValidUtf8(bytes)) return std::string(bytes);
    return Utf8ToGbk(bytes);
}

}  // namespace zl
