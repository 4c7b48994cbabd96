#include "core/codepage.h"

#include <iconv.h>

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
    // and skips `skip` input bytes (1 for byte encodings, the unit size otherwise).
    std::string Run(std::string_view in, std::string_view replacement, size_t unit) {
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
            const size_t skip = std::min(unit, srcLeft);
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
    // Characters iconv cannot map: skip the whole UTF-8 sequence and write one "?".
    std::string out;
    size_t start = 0;
    while (start < utf8.size()) {
        size_t i = start;
        while (i < utf8.size() && static_cast<unsigned char>(utf8[i]) < 0x80) ++i;
        out.append(utf8.substr(start, i - start));
        if (i >= utf8.size()) break;
        const size_t len = std::min(Utf8Length(static_cast<unsigned char>(utf8[i])), utf8.size() - i);
        out += Utf8ToGbkConv().Run(utf8.substr(i, len), "?", len);
        start = i + len;
    }
    return out;
}

std::string GbkToUtf8(std::string_view gbk) {
    if (IsAscii(gbk)) return std::string(gbk);
    return GbkToUtf8Conv().Run(gbk, "?", 1);
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

}  // namespace zl
