#pragma once
#include <string_view>

#include "core/pagetext/lexer.h"
#include "core/pagetext/tree.h"

namespace zl::pagetext {

// Objects, lists and collections nest at most this deep; the framework has no limit and
// overflows its stack instead.
inline constexpr int kMaxNesting = 256;

// Reads the root object block of a page text. Errors are zl::Error "<text> on line <n>":
//   "OBJECT expected"          where an object block must start (also after a child's "end")
//   "Identifier expected"      for a name, class name, property name, path part or set element,
//                              and a dot in a reference not followed by a name
//   "''='' expected", "'']'' expected", "'','' expected"   for the punctuation of the grammar
//   "item expected"            inside "<" ">" where no "item" starts
//   "String expected"          after a "+" in a string value
//   "Number expected"          where "[n]" has no integer, and for a number literal that does
//                              not convert (out of range, "1.2.3", a lone "-" or "$")
//   "Invalid string constant"  a quote left open at the line end, "#" without digits or above 65535
//   "Invalid binary value"     inside "{" "}" anything but hexadecimal digit pairs and white space
//   "Invalid property value"   a token that starts no value
//   "Line too long"            a line, line end included, longer than the 4096-byte read buffer
//   "Nesting too deep"         beyond kMaxNesting levels
// The token after the root's "end" is read, and anything after it ignored, as the framework does.
class Parser {
public:
    explicit Parser(std::string_view text) : lexer_(text) {}
    Object ParseRoot();
    // Builds the tree in `root` as it reads, so what came before an error stays there.
    void ParseRootInto(Object& root);

private:
    void ParseObject(Object& out, int depth);
    void ParseProperty(Property& out, int depth);
    void ParseValue(Value& out, int depth);
    void ParseCollection(CollectionValue& out, int depth);
    std::int64_t ParsePosition();

    const Token& Next() { return lexer_.Next(); }
    const Token& Current() const { return lexer_.Current(); }
    bool IsKeyword(std::string_view keyword) const;
    bool IsHeaderKeyword() const;
    void Expect(TokenKind kind) const;
    void ExpectChar(char c) const;
    void ExpectKeyword(std::string_view keyword) const;
    void CheckDepth(int depth) const;

    Lexer lexer_;
};

Object Parse(std::string_view text);
// Parse, keeping in `root` what was read before an error.
void ParseInto(std::string_view text, Object& root);

}  // namespace zl::pagetext
