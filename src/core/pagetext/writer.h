#pragma once
#include <string>
#include <string_view>

#include "core/pagetext/tree.h"

// Writes page text in its one canonical form: CR LF after every line, two spaces of indentation
// per level, strings by the String rule, binary by the Binary rule.
namespace zl::pagetext {

class Writer {
public:
    explicit Writer(std::string& out) : out_(out) {}

    // An object block with its header at `level`.
    void WriteObject(const Object& object, int level);
    // A property line at `level`, line end included.
    void WriteProperty(const Property& property, int level);
    // A value that starts on a line at `level`; continuation lines go one level deeper.
    void WriteValue(const Value& value, int level);
    void WriteString(std::u16string_view text, int level);
    void WriteBinary(const std::vector<std::uint8_t>& bytes, int level);

private:
    void NewLine(int level);

    std::string& out_;
};

std::string Write(const Object& root);

}  // namespace zl::pagetext
