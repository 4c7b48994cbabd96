#include "core/datetimeformat.h"

#include <cstdio>

#include "core/codepage.h"

namespace zl {
namespace {

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Proleptic Gregorian date of a day count since 1970-01-01 (Howard Hinnant's algorithm).
void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2));
}

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

// Case-insensitive: does `text` hold `word` at `pos`?
bool MatchesAt(std::string_view text, size_t pos, std::string_view word) {
    if (pos + word.size() > text.size()) return false;
    for (size_t k = 0; k < word.size(); ++k)
        if (UpperAscii(text[pos + k]) != word[k]) return false;
    return true;
}

// Bytes taken by the character at `pos`: a GBK pair as one, a lead byte cut off at the end alone.
size_t CharLength(std::string_view text, size_t pos) {
    return IsGbkLeadByte(static_cast<unsigned char>(text[pos])) && pos + 1 < text.size() ? 2 : 1;
}

class Formatter {
public:
    Formatter(LocalMs when, const FormatSettings& settings)
        : fields_(DecodeLocalMs(when)), weekday_(IsoDayOfWeek(when) % 7), settings_(settings) {}

    // Locale formats may name other formats (a short date holding "c"); two levels end that.
    void Append(std::string_view f, int depth) {
        if (depth >= 2) return;
        char lastToken = ' ';
        bool use12Hour = false;
        size_t i = 0;
        while (i < f.size()) {
            const char starter = f[i];
            if (IsGbkLeadByte(static_cast<unsigned char>(starter))) {
                const size_t len = CharLength(f, i);
                out.append(f.substr(i, len));
                i += len;
                continue;
            }
            ++i;
            auto count = [&] {
                int n = 1;
                while (i < f.size() && f[i] == starter) ++i, ++n;
                return n;
            };
            char token = UpperAscii(starter);
            if (token == 'M' && lastToken == 'H') token = 'N';
            switch (token) {
                case 'Y': {
                    const int n = count();
                    if (n <= 2)
                        Number(fields_.year % 100, 2);
                    else
                        Number(fields_.year, 4);
                    break;
                }
                case 'M': {
                    const int n = count();
                    if (n <= 2)
                        Number(fields_.month, n);
                    else
                        out += n == 3 ? settings_.ShortMonthNames[fields_.month - 1]
                                      : settings_.LongMonthNames[fields_.month - 1];
                    break;
                }
                case 'D': {
                    const int n = count();
                    if (n <= 2)
                        Number(fields_.day, n);
                    else if (n == 3)
                        out += settings_.ShortDayNames[weekday_];
                    else if (n == 4)
                        out += settings_.LongDayNames[weekday_];
                    else
                        Append(n == 5 ? settings_.ShortDateFormat : settings_.LongDateFormat, depth + 1);
                    break;
                }
                case 'H': {
                    const int n = count();
                    if (!use12Hour) use12Hour = MarkerFollows(f, i);
                    int hour = fields_.hour;
                    if (use12Hour) hour = hour == 0 ? 12 : hour > 12 ? hour - 12 : hour;
                    Number(hour, n > 2 ? 2 : n);
                    break;
                }
                case 'N': {
                    const int n = count();
                    Number(fields_.minute, n > 2 ? 2 : n);
                    break;
                }
                case 'S': {
                    const int n = count();
                    Number(fields_.second, n > 2 ? 2 : n);
                    break;
                }
                case 'Z': {
                    const int n = count();
                    Number(fields_.millisecond, n > 3 ? 3 : n);
                    break;
                }
                case 'T':
                    Append(count() == 1 ? settings_.ShortTimeFormat : settings_.LongTimeFormat, depth + 1);
                    break;
                case 'C':
                    count();
                    Append(settings_.ShortDateFormat, depth + 1);
                    if (fields_.hour != 0 || fields_.minute != 0 || fields_.second != 0) {
                        out += ' ';
                        Append(settings_.LongTimeFormat, depth + 1);
                    }
                    break;
                case 'A': {
                    const size_t at = i - 1;
                    const bool pm = fields_.hour >= 12;
                    // AM/PM and A/P repeat the pattern's own letters, in the case written.
                    if (MatchesAt(f, at, "AM/PM")) {
                        out.append(f.substr(at + (pm ? 3 : 0), 2));
                        i = at + 5;
                    } else if (MatchesAt(f, at, "A/P")) {
                        out += f[at + (pm ? 2 : 0)];
                        i = at + 3;
                    } else if (MatchesAt(f, at, "AMPM")) {
                        out += pm ? settings_.TimePMString : settings_.TimeAMString;
                        i = at + 4;
                    } else {
                        out += starter;
                        continue;  // a plain letter, not a specifier
                    }
                    use12Hour = true;
                    break;
                }
                case '/':
                    if (settings_.DateSeparator != '\0') out += settings_.DateSeparator;
                    continue;
                case ':':
                    if (settings_.TimeSeparator != '\0') out += settings_.TimeSeparator;
                    continue;
                case '\'':
                case '"': {
                    const size_t start = i;
                    while (i < f.size() && f[i] != starter) i += CharLength(f, i);
                    out.append(f.substr(start, i - start));
                    if (i < f.size()) ++i;
                    continue;
                }
                default:
                    out += starter;
                    continue;
            }
            // Only specifiers count for the minutes rule; text and separators in between do not.
            lastToken = token;
        }
    }

    std::string out;

private:
    void Number(int value, int digits) {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "%0*d", digits, value);
        out += buffer;
    }

    // An hour is 12-hour when the next am/pm marker comes before the next hour specifier.
    static bool MarkerFollows(std::string_view f, size_t pos) {
        bool quoted = false;
        while (pos < f.size()) {
            const char c = f[pos];
            if (IsGbkLeadByte(static_cast<unsigned char>(c))) {
                pos += CharLength(f, pos);
                continue;
            }
            if ((c == 'a' || c == 'A') && !quoted)
                return MatchesAt(f, pos, "AM/PM") || MatchesAt(f, pos, "A/P") ||
                       MatchesAt(f, pos, "AMPM");
            if (c == 'h' || c == 'H') return false;
            if (c == '\'' || c == '"') quoted = !quoted;
            ++pos;
        }
        return false;
    }

    DateTimeFields fields_;
    int weekday_;  // 0 Sunday .. 6 Saturday, as the name tables count
    const FormatSettings& settings_;
};

void SkipBlanks(std::string_view s, size_t& pos) {
    while (pos < s.size() && s[pos] == ' ') ++pos;
}

// Up to four digits are read; the value stops growing at 1000 as the framework's scanner does.
bool ScanNumber(std::string_view s, size_t& pos, int& number, int& digits) {
    SkipBlanks(s, pos);
    size_t i = pos;
    int n = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9' && n < 1000) n = n * 10 + (s[i++] - '0');
    if (i == pos) return false;
    digits = static_cast<int>(i - pos);
    number = n;
    pos = i;
    return true;
}

bool ScanChar(std::string_view s, size_t& pos, char c) {
    SkipBlanks(s, pos);
    if (pos < s.size() && s[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}

enum class DateOrder { MDY, DMY, YMD };

// The first of year, month or day in the short date format decides the order.
DateOrder GetDateOrder(std::string_view format) {
    for (size_t i = 0; i < format.size(); i += CharLength(format, i)) {
        switch (UpperAscii(format[i])) {
            case 'E':
            case 'Y': return DateOrder::YMD;
            case 'M': return DateOrder::MDY;
            case 'D': return DateOrder::DMY;
            default: break;
        }
    }
    return DateOrder::MDY;
}

}  // namespace

DateTimeFields DecodeLocalMs(LocalMs when) {
    const std::int64_t days = FloorDiv(when, kMsPerDay);
    std::int64_t rest = when - days * kMsPerDay;
    DateTimeFields f;
    CivilFromDays(days, f.year, f.month, f.day);
    f.millisecond = static_cast<int>(rest % 1000);
    rest /= 1000;
    f.second = static_cast<int>(rest % 60);
    rest /= 60;
    f.minute = static_cast<int>(rest % 60);
    f.hour = static_cast<int>(rest / 60);
    return f;
}

LocalMs DateOf(LocalMs when) { return FloorDiv(when, kMsPerDay) * kMsPerDay; }

int IsoDayOfWeek(LocalMs when) {
    const std::int64_t daysSinceYearOne = FloorDiv(when - MakeLocalMs(1, 1, 1), kMsPerDay);
    return static_cast<int>(daysSinceYearOne - FloorDiv(daysSinceYearOne, 7) * 7) + 1;
}

std::string FormatDateTime(std::string_view pattern, LocalMs when, const FormatSettings& settings) {
    Formatter formatter(when, settings);
    formatter.Append(pattern.empty() ? std::string_view("c") : pattern, 0);
    return std::move(formatter.out);
}

std::string DateToStr(LocalMs when, const FormatSettings& settings) {
    return FormatDateTime(settings.ShortDateFormat, when, settings);
}

std::string TimeToStr(LocalMs when, const FormatSettings& settings) {
    return FormatDateTime(settings.LongTimeFormat, when, settings);
}

std::optional<LocalMs> TryStrToDate(std::string_view text, const FormatSettings& settings) {
    const char sep = settings.DateSeparator;
    const DateOrder order = GetDateOrder(settings.ShortDateFormat);
    size_t pos = 0;
    int n1 = 0, n2 = 0, n3 = 0, l1 = 0, l2 = 0, l3 = 0;
    if (!(ScanNumber(text, pos, n1, l1) && ScanChar(text, pos, sep) && ScanNumber(text, pos, n2, l2)))
        return std::nullopt;
    const int currentYear = DecodeLocalMs(Now()).year;
    int year = currentYear, month = 0, day = 0;
    if (ScanChar(text, pos, sep)) {
        if (!ScanNumber(text, pos, n3, l3)) return std::nullopt;
        int yearDigits = 0;
        switch (order) {
            case DateOrder::MDY: year = n3, yearDigits = l3, month = n1, day = n2; break;
            case DateOrder::DMY: year = n3, yearDigits = l3, month = n2, day = n1; break;
            case DateOrder::YMD: year = n1, yearDigits = l1, month = n2, day = n3; break;
        }
        if (yearDigits <= 2) {
            const int centuryBase = currentYear - 50;
            year += centuryBase / 100 * 100;
            if (year < centuryBase) year += 100;
        }
    } else if (order == DateOrder::DMY) {
        day = n1, month = n2;
    } else {
        month = n1, day = n2;
    }
    ScanChar(text, pos, sep);
    SkipBlanks(text, pos);
    if (pos != text.size()) return std::nullopt;
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
        return std::nullopt;
    return MakeLocalMs(year, month, day);
}

std::int64_t DaysSince(LocalMs startDate, LocalMs now) { return (DateOf(now) - startDate) / kMsPerDay; }

}  // namespace zl
