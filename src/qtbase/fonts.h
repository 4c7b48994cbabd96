#pragma once
#include <QFont>
#include <QString>

namespace zl {

// Maps the Windows font names kept in page files to installed families for drawing.
void InstallFontSubstitutions();
// The family to draw with for a stored font name (UTF-8 QString).
QString DrawingFamily(const QString& storedName);
// The name to store for a family chosen from the installed ones: a Windows face name that maps
// to it (the current name when that one does), so pages stay portable; otherwise the family.
QString StoredFontName(const QString& family, const QString& currentStoredName);

}  // namespace zl
