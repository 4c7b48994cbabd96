#pragma once
#include <string>

#include "core/textlist.h"

namespace zl {

// Joins GBK lines with "," and quotes a line holding a control character, space, "," or '"'
// (quotes inside doubled); the trail byte of a double-byte character never counts.
std::string CommaText(const StringList& lines);

}  // namespace zl
