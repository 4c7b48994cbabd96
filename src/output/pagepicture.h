#pragma once
#include <QImage>
#include <QRect>

class QWidget;

namespace zl {

// Draws `area` of the page window's client area from its widgets, as play shows them, into
// `picture` (RGB32, made the size of the client area). The designer's grips and selection band
// are left out. A page window on show is copied from what it has drawn for the screen (its own
// store, not the screen: windows above it do not show); otherwise its widgets draw it.
void RenderPagePicture(QWidget& page, QImage& picture, const QRect& area);

}  // namespace zl
