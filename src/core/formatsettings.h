#pragma once
#include <array>
#include <string>

namespace zl {

// Locale texts for date and time output, in GBK; Simplified Chinese defaults.
struct FormatSettings {
    std::string ShortDateFormat;
    std::string LongDateFormat;
    char DateSeparator = '-';
    std::string LongTimeFormat;
    std::string ShortTimeFormat;
    char TimeSeparator = ':';
    std::string TimeAMString;
    std::string TimePMString;
    std::array<std::string, 12> ShortMonthNames;
    std::array<std::string, 12> LongMonthNames;
    // Index 0 is Sunday, as the framework counts.
    std::array<std::string, 7> ShortDayNames;
    std::array<std::string, 7> LongDayNames;
    char DecimalSeparator = '.';
};

const FormatSettings& ChineseFormatSettings();
// The settings the program formats with; the Chinese ones unless a test swaps them.
const FormatSettings& CurrentFormatSettings();
void SetFormatSettings(const FormatSettings* settings);

}  // namespace zl
