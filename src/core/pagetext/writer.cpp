#include "core/pagetext/writer.h"

#include <charconv>

#include "core/pagetext/numbers.h"

namespace zl::pagetext {
namespace {

void AppendInteger(std::string& out, std::int64_t value) {
    char buffer[24];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, r.ptr);
}

void AppendHex(std::string& out, const IntegerValue& number) {
    char buffer[16];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, static_cast<std::uint64_t>(number.value), 16);
    const std::size_t length = r.ptr - buffer;
    out += '$';
    if (length < number.hexDigits) out.append(number.hexDigits - length, '0');
    for (const char* p = buffer; p < r.ptr; ++p)
        out += number.hexLowercase || *p < 'a' ? *p : static_cast<char>(*p - 'a' + 'A');
}

bool IsPlain(char16_t c) { return c >= 32 && c <= 127 && c != '\''; }

}  // namespace

std::string Write(const Object& root) {
    std::string out;
    Writer(out).WriteObject(root, 0);
    return out;
}

void Writer::NewLine(int level) {
    out_ += "\r\n";
    out_.append(2 * static_cast<std::size_t>(level), ' ');
}

void Writer::WriteObject(const Object& object, int level) {
    out_.append(2 * static_cast<std::size_t>(level), ' ');
    switch (object.kind) {
        case ObjectKind::Object: out_ += "object "; break;
        case ObjectKind::Inherited: out_ += "inherited "; break;
        case ObjectKind::Inline: out_ += "inline "; break;
    }
    if (!object.name.empty()) {
        out_ += object.name;
        out_ += ": ";
    }
    out_ += object.className;
    if (object.childPosition) {
        out_ += " [";
        AppendInteger(out_, *object.childPosition);
        out_ += ']';
    }
    out_ += "\r\n";
    for (const Property& property : object.properties) WriteProperty(property, level + 1);
    for (const Object& child : object.children) WriteObject(child, level + 1);
    out_.append(2 * static_cast<std::size_t>(level), ' ');
    out_ += "end\r\n";
}

void Writer::WriteProperty(const Property& property, int level) {
    out_.append(2 * static_cast<std::size_t>(level), ' ');
    out_ += property.path;
    out_ += " = ";
    WriteValue(property.value, level);
    out_ += "\r\n";
}

void Writer::WriteValue(const Value& value, int level) {
    if (const auto* number = value.If<IntegerValue>()) {
        if (number->hexDigits)
            AppendHex(out_, *number);
        else
            AppendInteger(out_, number->value);
    } else if (const auto* ident = value.If<IdentValue>()) {
        out_ += ident->name;
    } else if (const auto* string = value.If<StringValue>()) {
        WriteString(string->text, level);
    } else if (const auto* number = value.If<FloatValue>()) {
        // The literal as read is kept while it still stands for the value.
        const auto read = number->literal.empty() ? std::nullopt : ParseFloatLiteral(number->literal);
        if (read && read->kind == number->kind && read->value == number->value)
            out_ += number->literal;
        else
            out_ += FormatFloat(number->value, number->kind);
    } else if (const auto* set = value.If<SetValue>()) {
        out_ += '[';
        for (std::size_t i = 0; i < set->names.size(); ++i) {
            if (i) out_ += ", ";
            out_ += set->names[i];
        }
        out_ += ']';
    } else if (const auto* list = value.If<ListValue>()) {
        out_ += '(';
        for (const Value& item : list->items) {
            NewLine(level + 1);
            WriteValue(item, level + 1);
        }
        out_ += ')';
    } else if (const auto* collection = value.If<CollectionValue>()) {
        out_ += '<';
        for (const CollectionItem& item : collection->items) {
            NewLine(level + 1);
            out_ += "item";
            if (item.index) {
                out_ += " [";
                AppendInteger(out_, *item.index);
                out_ += ']';
            }
            out_ += "\r\n";
            for (const Property& property : item.properties) WriteProperty(property, level + 2);
            out_.append(2 * static_cast<std::size_t>(level + 1), ' ');
            out_ += "end";
        }
        out_ += '>';
    } else if (const auto* binary = value.If<BinaryValue>()) {
        WriteBinary(binary->bytes, level);
    }
}

// At most 64 characters of the string per output line, printable ASCII in quoted runs, every
// other code (the quote included) as "#" and its decimal value.
void Writer::WriteString(std::u16string_view text, int level) {
    constexpr std::size_t kPerLine = 64;
    const std::size_t length = text.size();
    if (length == 0) {
        out_ += "''";
        return;
    }
    if (length > kPerLine) NewLine(level + 1);
    std::size_t lineStart = 0, i = 0;
    while (i < length) {
        if (!IsPlain(text[i])) {
            out_ += '#';
            AppendInteger(out_, text[i]);
            ++i;
        } else {
            const std::size_t start = i;
            const std::size_t limit = std::min(length, lineStart + kPerLine);
            ++i;
            while (i < limit && IsPlain(text[i])) ++i;
            out_ += '\'';
            const std::size_t at = out_.size();
            out_.resize(at + (i - start));
            char* dst = out_.data() + at;
            for (std::size_t k = start; k < i; ++k) *dst++ = static_cast<char>(text[k]);
            out_ += '\'';
        }
        if (i - lineStart >= kPerLine && i < length) {
            out_ += " +";
            NewLine(level + 1);
            lineStart = i;
        }
    }
}

// Two uppercase digits per byte in chunks of 32 bytes; from 32 bytes on, every chunk stands on
// its own line one level deeper and "}" follows the last digit.
void Writer::WriteBinary(const std::vector<std::uint8_t>& bytes, int level) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    constexpr std::size_t kChunk = 32;
    const bool multiLine = bytes.size() >= kChunk;
    out_ += '{';
    for (std::size_t start = 0; start < bytes.size(); start += kChunk) {
        if (multiLine) NewLine(level + 1);
        const std::size_t end = std::min(bytes.size(), start + kChunk);
        const std::size_t at = out_.size();
        out_.resize(at + 2 * (end - start));
        char* dst = out_.data() + at;
        for (std::size_t k = start; k < end; ++k) {
            *dst++ = kDigits[bytes[k] >> 4];
            *dst++ = kDigits[bytes[k] & 15];
        }
    }
    out_ += '}';
}

}  // namespace zl::pagetext
