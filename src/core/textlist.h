#pragma once
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// The text list: one entry per line, bytes as stored (GBK), used by play lists, plans and data files.
namespace zl {

using StringList = std::vector<std::string>;

// Splits at CR LF, lone CR and lone LF; a NUL ends the text; a last line without an end counts;
// empty lines are entries; nothing is trimmed.
StringList ParseTextList(std::string_view bytes);
// CR LF after every entry, the last one included; an empty list gives empty text.
std::string FormatTextList(const StringList& entries);

StringList ReadTextList(const std::filesystem::path& path);
// Written atomically: the previous file stays whole when writing fails.
void WriteTextList(const std::filesystem::path& path, const StringList& entries);

}  // namespace zl
