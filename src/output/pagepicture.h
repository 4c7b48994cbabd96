#pragma once
#include <QImage>
#include <QRect>

class QWidget;

namespace zl {

// The page window's client area as play shows it (RGB32, the size of the client area), of
// which `area` is up to date; the designer's grips and selection band are left out. A page window
// on show gives what it has drawn for the screen (its own store, not the screen: windows above
// it do not show), without a copy: the result is only good until events are next processed.
// Otherwise its widgets draw `area` into `picture`, which is returned.
QImage RenderPagePicture(QWidget& page, QImage& picture, const QRect& area);

}  // namespace zl
