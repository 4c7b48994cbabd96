#pragma once
#include <stdexcept>
#include <string>

namespace zl {

// Every failure the operator may see is an Error carrying its exact message text (UTF-8).
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// printf-style formatting for the fixed message texts ("Cannot create file \"%s\". %s").
std::string Format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

}  // namespace zl
