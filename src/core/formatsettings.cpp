#include "core/formatsettings.h"

#include "core/codepage.h"

namespace zl {
namespace {

const FormatSettings* g_settings = nullptr;

FormatSettings MakeChinese() {
    FormatSettings f;
    f.ShortDateFormat = "yyyy-M-d";
    f.LongDateFormat = Utf8ToGbk("yyyy'年'M'月'd'日'");
    f.DateSeparator = '-';
    f.LongTimeFormat = "H:mm:ss";
    f.ShortTimeFormat = "H:mm";
    f.TimeSeparator = ':';
    f.TimeAMString = Utf8ToGbk("上午");
    f.TimePMString = Utf8ToGbk("下午");
    const char* months[] = {"一月", "二月", "三月", "四月", "五月", "六月",
                            "七月", "八月", "九月", "十月", "十一月", "十二月"};
    for (int i = 0; i < 12; ++i) {
        f.ShortMonthNames[i] = Utf8ToGbk(months[i]);
        f.LongMonthNames[i] = Utf8ToGbk(months[i]);
    }
    const char* longDays[] = {"星期日", "星期一", "星期二", "星期三", "星期四", "星期五", "星期六"};
    const char* shortDays[] = {"周日", "周一", "周二", "周三", "周四", "周五", "周六"};
    for (int i = 0; i < 7; ++i) {
        f.LongDayNames[i] = Utf8ToGbk(longDays[i]);
        f.ShortDayNames[i] = Utf8ToGbk(shortDays[i]);
    }
    return f;
}

}  // namespace

const FormatSettings& ChineseFormatSettings() {
    static const FormatSettings settings = MakeChinese();
    return settings;
}

const FormatSettings& CurrentFormatSettings() { return g_settings ? *g_settings : ChineseFormatSettings(); }

void SetFormatSettings(const FormatSettings* settings) { g_settings = settings; }

}  // namespace zl
