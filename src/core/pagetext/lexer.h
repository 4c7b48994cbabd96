#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Splits page text into tokens the way the framework's parser does: bytes up to 32 separate
// tokens, each LF counts a line, and a zero byte ends the text.
namespace zl::pagetext {

enum class TokenKind : std::uint8_t { End, Symbol, String, Integer, Float, Char };

struct Token {
    TokenKind kind = TokenKind::End;
    char ch = 0;            // the byte of a Char token
    std::string_view text;  // as written; a string token with its quotes and "#" codes
    int line = 1;
    bool wide = false;       // a string token with a "#" code above 127
    bool highBytes = false;  // a string token with bytes above 127 inside quotes
};

// Reading stops at a line, line end included, that does not fit the parser's read buffer.
inline constexpr std::size_t kReadBufferSize = 4096;

class Lexer {
public:
    explicit Lexer(std::string_view text);

    const Token& Next();
    const Token& Current() const { return token_; }
    int Line() const { return line_; }

    // A symbol in value position may continue as ".Name" parts written right after it.
    std::string_view ExtendDotted();
    // After a "{" token: hexadecimal digit pairs, white space allowed between pairs, up to and
    // including "}".
    void ReadBinary(std::vector<std::uint8_t>& out);
    // The current string token's characters as 16-bit codes, appended to `out`.
    void AppendString(std::u16string& out) const;

    // Throws zl::Error "<message> on line <n>" at the current line.
    [[noreturn]] void Fail(std::string_view message) const;

private:
    void SkipBlanks();
    void CheckLine(const char* start) const;
    void ScanString();

    const char* p_;
    const char* end_;
    int line_ = 1;
    Token token_;
};

}  // namespace zl::pagetext
