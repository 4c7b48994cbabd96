#include "qtbase/fonts.h"

#include <QStringList>

namespace zl {
namespace {

struct Substitution {
    const char* stored;
    const char* installed;
};

// Names as page files keep them, mapped to Debian font packages.
constexpr Substitution kSubstitutions[] = {
    {"宋体", "AR PL UMing CN"},
    {"新宋体", "AR PL UMing CN"},
    {"黑体", "WenQuanYi Zen Hei"},
    {"楷体_GB2312", "AR PL UKai CN"},
    {"楷体", "AR PL UKai CN"},
    {"隶书", "AR PL UKai CN"},
    {"MS Sans Serif", "DejaVu Sans"},
};

}  // namespace

void InstallFontSubstitutions() {
    for (const auto& s : kSubstitutions) {
        const QString stored = QString::fromUtf8(s.stored);
        QFont::removeSubstitutions(stored);
        // Fall back to a font that has CJK glyphs so Chinese text never shows as boxes.
        QFont::insertSubstitutions(stored, {QString::fromUtf8(s.installed), "WenQuanYi Zen Hei",
                                            "AR PL UMing CN"});
    }
}

QString DrawingFamily(const QString& storedName) {
    for (const auto& s : kSubstitutions)
        if (storedName == QString::fromUtf8(s.stored)) return QString::fromUtf8(s.installed);
    return storedName;
}

QString StoredFontName(const QString& family, const QString& currentStoredName) {
    const auto same = [&](const QString& stored) {
        return DrawingFamily(stored).compare(family, Qt::CaseInsensitive) == 0 && stored != family;
    };
    if (same(currentStoredName)) return currentStoredName;
    for (const char* face : {"宋体", "黑体", "楷体_GB2312", "隶书"})
        if (same(QString::fromUtf8(face))) return QString::fromUtf8(face);
    return family;
}

}  // namespace zl
