#include "qtbase/qtstrings.h"

#include "core/codepage.h"

namespace zl {

QString Q(std::string_view gbk) {
    const std::u16string wide = GbkToUtf16(gbk);
    return QString::fromUtf16(wide.data(), static_cast<qsizetype>(wide.size()));
}

std::string Gbk(const QString& text) {
    return Utf16ToGbk(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                          static_cast<size_t>(text.size())));
}

}  // namespace zl
