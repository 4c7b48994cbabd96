#pragma once
#include <QFont>
#include <QString>

namespace zl {

// Maps the Windows font names kept in page files to installed families for drawing.
void InstallFontSubstitutions();
// The family to draw with for a stored font name (UTF-8 QString).
QString DrawingFamily(const QString& storedName);

}  // namespace zl
