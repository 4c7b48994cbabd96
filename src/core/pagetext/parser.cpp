#include "core/pagetext/parser.h"

#include "core/error.h"
#include "core/pagetext/numbers.h"

namespace zl::pagetext {
namespace {

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
    return true;
}

}  // namespace

Object Parse(std::string_view text) {
    return Parser(text).ParseRoot();
}

Object Parser::ParseRoot() {
    Object root;
    ParseRootInto(root);
    return root;
}

void Parser::ParseRootInto(Object& root) {
    Next();
    ParseObject(root, 1);
}

void ParseInto(std::string_view text, Object& root) { Parser(text).ParseRootInto(root); }

bool Parser::IsKeyword(std::string_view keyword) const {
    // Keywords are letters only, so folding bit 5 compares them without regard to case.
    return Current().kind == TokenKind::Symbol && EqualsIgnoreCase(Current().text, keyword);
}

bool Parser::IsHeaderKeyword() const {
    return IsKeyword("object") || IsKeyword("inherited") || IsKeyword("inline");
}

void Parser::Expect(TokenKind kind) const {
    if (Current().kind == kind) return;
    switch (kind) {
        case TokenKind::Symbol: lexer_.Fail("Identifier expected");
        case TokenKind::String: lexer_.Fail("String expected");
        default: lexer_.Fail("Number expected");
    }
}

void Parser::ExpectChar(char c) const {
    if (Current().kind == TokenKind::Char && Current().ch == c) return;
    lexer_.Fail(Format("''%c'' expected", c));
}

void Parser::ExpectKeyword(std::string_view keyword) const {
    if (IsKeyword(keyword)) return;
    lexer_.Fail(Format("%.*s expected", static_cast<int>(keyword.size()), keyword.data()));
}

void Parser::CheckDepth(int depth) const {
    if (depth > kMaxNesting) lexer_.Fail("Nesting too deep");
}

void Parser::ParseObject(Object& out, int depth) {
    CheckDepth(depth);
    out.line = Current().line;
    if (IsKeyword("inherited"))
        out.kind = ObjectKind::Inherited;
    else if (IsKeyword("inline"))
        out.kind = ObjectKind::Inline;
    else
        ExpectKeyword("OBJECT");
    Next();
    Expect(TokenKind::Symbol);
    out.className = Current().text;
    Next();
    if (Current().kind == TokenKind::Char && Current().ch == ':') {
        Next();
        Expect(TokenKind::Symbol);
        out.name = std::move(out.className);
        out.className = Current().text;
        Next();
    }
    if (Current().kind == TokenKind::Char && Current().ch == '[') out.childPosition = ParsePosition();
    while (!IsKeyword("end") && !IsHeaderKeyword()) ParseProperty(out.properties.emplace_back(), depth);
    while (!IsKeyword("end")) ParseObject(out.children.emplace_back(), depth + 1);
    Next();
}

// "[" integer "]" after a class name or "item"; the current token is the "[".
std::int64_t Parser::ParsePosition() {
    Next();
    Expect(TokenKind::Integer);
    const auto number = ParseIntegerLiteral(Current().text);
    if (!number) lexer_.Fail("Number expected");
    Next();
    ExpectChar(']');
    Next();
    return number->value;
}

void Parser::ParseProperty(Property& out, int depth) {
    Expect(TokenKind::Symbol);
    out.line = Current().line;
    out.path = Current().text;
    Next();
    while (Current().kind == TokenKind::Char && Current().ch == '.') {
        Next();
        Expect(TokenKind::Symbol);
        out.path += '.';
        out.path += Current().text;
        Next();
    }
    ExpectChar('=');
    Next();
    ParseValue(out.value, depth);
}

void Parser::ParseValue(Value& out, int depth) {
    const Token& token = Current();
    switch (token.kind) {
        case TokenKind::String: {
            // Several strings joined by "+", also across lines, make one; the token after the
            // last one is already read.
            StringValue& string = out.data.emplace<StringValue>();
            lexer_.AppendString(string.text);
            while (Next().kind == TokenKind::Char && Current().ch == '+') {
                Next();
                Expect(TokenKind::String);
                lexer_.AppendString(string.text);
            }
            return;
        }
        case TokenKind::Symbol:
            out.data.emplace<IdentValue>().name = lexer_.ExtendDotted();
            break;
        case TokenKind::Integer: {
            auto number = ParseIntegerLiteral(token.text);
            if (!number) lexer_.Fail("Number expected");
            out.data = *number;
            break;
        }
        case TokenKind::Float: {
            auto number = ParseFloatLiteral(token.text);
            if (!number) lexer_.Fail("Number expected");
            out.data = std::move(*number);
            break;
        }
        case TokenKind::Char:
            switch (token.ch) {
                case '[': {
                    SetValue& set = out.data.emplace<SetValue>();
                    if (Next().kind != TokenKind::Char || Current().ch != ']') {
                        for (;;) {
                            Expect(TokenKind::Symbol);
                            set.names.emplace_back(Current().text);
                            if (Next().kind == TokenKind::Char && Current().ch == ']') break;
                            ExpectChar(',');
                            Next();
                        }
                    }
                    break;
                }
                case '(': {
                    CheckDepth(depth + 1);
                    ListValue& list = out.data.emplace<ListValue>();
                    Next();
                    while (Current().kind != TokenKind::Char || Current().ch != ')')
                        ParseValue(list.items.emplace_back(), depth + 1);
                    break;
                }
                case '{':
                    lexer_.ReadBinary(out.data.emplace<BinaryValue>().bytes);
                    break;
                case '<':
                    ParseCollection(out.data.emplace<CollectionValue>(), depth + 1);
                    break;
                default:
                    lexer_.Fail("Invalid property value");
            }
            break;
        case TokenKind::End:
            lexer_.Fail("Invalid property value");
    }
    Next();
}

void Parser::ParseCollection(CollectionValue& out, int depth) {
    CheckDepth(depth);
    Next();
    while (Current().kind != TokenKind::Char || Current().ch != '>') {
        ExpectKeyword("item");
        CollectionItem& item = out.items.emplace_back();
        item.line = Current().line;
        Next();
        if (Current().kind == TokenKind::Char && Current().ch == '[') item.index = ParsePosition();
        while (!IsKeyword("end")) ParseProperty(item.properties.emplace_back(), depth);
        Next();
    }
}

}  // namespace zl::pagetext
