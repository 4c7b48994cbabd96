#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/clock.h"
#include "core/formatsettings.h"

// Date and time as the operator sees them: the pattern language of the clock widget, the
// short date and long time texts, and reading a date back from short date text. Patterns,
// names and results are GBK byte strings; a double-byte character is always kept whole.
namespace zl {

struct DateTimeFields {
    int year = 1970;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

DateTimeFields DecodeLocalMs(LocalMs when);
// Midnight at the start of the day of `when`.
LocalMs DateOf(LocalMs when);
// Monday 1 .. Sunday 7, counted from 1 January of year 1, which was a Monday.
int IsoDayOfWeek(LocalMs when);

// Formats `when` with a date-time pattern ("yyyy-MM-dd hh:mm:ss", "c", "dddd", ...).
// An empty pattern formats as "c".
std::string FormatDateTime(std::string_view pattern, LocalMs when,
                           const FormatSettings& settings = CurrentFormatSettings());
// The date of `when` in the short date format.
std::string DateToStr(LocalMs when, const FormatSettings& settings = CurrentFormatSettings());
// The time of `when` in the long time format.
std::string TimeToStr(LocalMs when, const FormatSettings& settings = CurrentFormatSettings());

// Reads a date written in the short date format: its date order and the date separator,
// blanks allowed around the parts; a missing year is this year, and a year of one or two
// digits lies within 50 years before now and 49 after (both from the clock seam).
// Returns midnight of that date, or nothing when the text is not such a date.
std::optional<LocalMs> TryStrToDate(std::string_view text,
                                    const FormatSettings& settings = CurrentFormatSettings());

// Whole days from `startDate` to the day of `now` (midnight), truncated toward zero;
// negative when the start date lies in the future.
std::int64_t DaysSince(LocalMs startDate, LocalMs now);

}  // namespace zl
