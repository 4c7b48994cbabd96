#include "core/pagetext/nametables.h"

namespace zl::pagetext {
namespace {

constexpr std::int64_t Color(std::uint32_t bits) { return static_cast<std::int32_t>(bits); }

constexpr IntegerName kColors[] = {
    {"clBlack", Color(0x00000000)},
    {"clMaroon", Color(0x00000080)},
    {"clGreen", Color(0x00008000)},
    {"clOlive", Color(0x00008080)},
    {"clNavy", Color(0x00800000)},
    {"clPurple", Color(0x00800080)},
    {"clTeal", Color(0x00808000)},
    {"clGray", Color(0x00808080)},
    {"clSilver", Color(0x00C0C0C0)},
    {"clRed", Color(0x000000FF)},
    {"clLime", Color(0x0000FF00)},
    {"clYellow", Color(0x0000FFFF)},
    {"clBlue", Color(0x00FF0000)},
    {"clFuchsia", Color(0x00FF00FF)},
    {"clAqua", Color(0x00FFFF00)},
    {"clWhite", Color(0x00FFFFFF)},
    {"clMoneyGreen", Color(0x00C0DCC0)},
    {"clSkyBlue", Color(0x00F0CAA6)},
    {"clCream", Color(0x00F0FBFF)},
    {"clMedGray", Color(0x00A4A0A0)},
    {"clActiveBorder", Color(0xFF00000A)},
    {"clActiveCaption", Color(0xFF000002)},
    {"clAppWorkSpace", Color(0xFF00000C)},
    {"clBackground", Color(0xFF000001)},
    {"clBtnFace", Color(0xFF00000F)},
    {"clBtnHighlight", Color(0xFF000014)},
    {"clBtnShadow", Color(0xFF000010)},
    {"clBtnText", Color(0xFF000012)},
    {"clCaptionText", Color(0xFF000009)},
    {"clDefault", Color(0x20000000)},
    {"clGradientActiveCaption", Color(0xFF00001B)},
    {"clGradientInactiveCaption", Color(0xFF00001C)},
    {"clGrayText", Color(0xFF000011)},
    {"clHighlight", Color(0xFF00000D)},
    {"clHighlightText", Color(0xFF00000E)},
    {"clHotLight", Color(0xFF00001A)},
    {"clInactiveBorder", Color(0xFF00000B)},
    {"clInactiveCaption", Color(0xFF000003)},
    {"clInactiveCaptionText", Color(0xFF000013)},
    {"clInfoBk", Color(0xFF000018)},
    {"clInfoText", Color(0xFF000017)},
    {"clMenu", Color(0xFF000004)},
    {"clMenuBar", Color(0xFF00001E)},
    {"clMenuHighlight", Color(0xFF00001D)},
    {"clMenuText", Color(0xFF000007)},
    {"clNone", Color(0x1FFFFFFF)},
    {"clScrollBar", Color(0xFF000000)},
    {"cl3DDkShadow", Color(0xFF000015)},
    {"cl3DLight", Color(0xFF000016)},
    {"clWindow", Color(0xFF000005)},
    {"clWindowFrame", Color(0xFF000006)},
    {"clWindowText", Color(0xFF000008)},
};

constexpr IntegerName kCharsets[] = {
    {"ANSI_CHARSET", 0},
    {"DEFAULT_CHARSET", 1},
    {"SYMBOL_CHARSET", 2},
    {"MAC_CHARSET", 77},
    {"SHIFTJIS_CHARSET", 128},
    {"HANGEUL_CHARSET", 129},
    {"JOHAB_CHARSET", 130},
    {"GB2312_CHARSET", 134},
    {"CHINESEBIG5_CHARSET", 136},
    {"GREEK_CHARSET", 161},
    {"TURKISH_CHARSET", 162},
    {"HEBREW_CHARSET", 177},
    {"ARABIC_CHARSET", 178},
    {"BALTIC_CHARSET", 186},
    {"RUSSIAN_CHARSET", 204},
    {"THAI_CHARSET", 222},
    {"EASTEUROPE_CHARSET", 238},
    {"OEM_CHARSET", 255},
};

constexpr IntegerName kCursors[] = {
    {"crDefault", 0},
    {"crArrow", -2},
    {"crCross", -3},
    {"crIBeam", -4},
    {"crSizeNESW", -6},
    {"crSizeNS", -7},
    {"crSizeNWSE", -8},
    {"crSizeWE", -9},
    {"crUpArrow", -10},
    {"crHourGlass", -11},
    {"crDrag", -12},
    {"crNoDrop", -13},
    {"crHSplit", -14},
    {"crVSplit", -15},
    {"crMultiDrag", -16},
    {"crSQLWait", -17},
    {"crNo", -18},
    {"crAppStart", -19},
    {"crHelp", -20},
    {"crHandPoint", -21},
    {"crSizeAll", -22},
    {"crSize", -22},
};

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x += 'a' - 'A';
        if (y >= 'A' && y <= 'Z') y += 'a' - 'A';
        if (x != y) return false;
    }
    return true;
}

}  // namespace

std::span<const IntegerName> ColorNames() { return kColors; }
std::span<const IntegerName> CharsetNames() { return kCharsets; }
std::span<const IntegerName> CursorNames() { return kCursors; }

std::optional<std::string_view> NameOfValue(std::span<const IntegerName> table, std::int64_t value) {
    for (const IntegerName& entry : table)
        if (entry.value == value) return entry.name;
    return std::nullopt;
}

std::optional<std::int64_t> ValueOfName(std::span<const IntegerName> table, std::string_view name) {
    for (const IntegerName& entry : table)
        if (EqualsIgnoreAsciiCase(entry.name, name)) return entry.value;
    return std::nullopt;
}

}  // namespace zl::pagetext
