#include "output/pagepicture.h"

#include <QBackingStore>
#include <QPainter>
#include <QWidget>
#include <QWindow>

#include "page/frmzorledform.h"
#include "page/selectcontrol.h"

namespace zl {
namespace {

bool DesignerOnly(const QWidget* w) {
    return dynamic_cast<const TGripOverlay*>(w) != nullptr || dynamic_cast<const TBandCanvas*>(w) != nullptr;
}

// `area` is in `widget`'s coordinates; `origin` is where its (0, 0) lies in the picture.
void RenderTree(QWidget& widget, QPainter& painter, QPoint origin, const QRect& area) {
    const QRect own = area & widget.rect();
    if (own.isEmpty()) return;
    widget.render(&painter, origin + own.topLeft(), QRegion(own), QWidget::DrawWindowBackground);
    // Children in stacking order, bottom first, each drawn alone so designer parts stay out
    // however deep they sit.
    for (QObject* object : widget.children()) {
        auto* child = qobject_cast<QWidget*>(object);
        if (!child || child->isWindow() || child->isHidden() || DesignerOnly(child)) continue;
        RenderTree(*child, painter, origin + child->pos(), own.translated(-child->pos()));
    }
}

// What the page window has drawn for the screen, when its store holds the page as play shows it:
// an exposed window (a hidden one is not painted) without designer parts in view.
const QImage* DrawnPicture(QWidget& page) {
    if (!page.isWindow() || !page.isVisible() || !page.windowHandle() || !page.windowHandle()->isExposed())
        return nullptr;
    QBackingStore* store = page.backingStore();
    QPaintDevice* device = store ? store->paintDevice() : nullptr;
    if (!device || device->devType() != QInternal::Image) return nullptr;
    const auto* image = static_cast<const QImage*>(device);
    if (image->devicePixelRatio() != 1.0 || image->width() < page.width() || image->height() < page.height() ||
        (image->format() != QImage::Format_RGB32 && image->format() != QImage::Format_ARGB32_Premultiplied))
        return nullptr;
    for (const QWidget* child : page.findChildren<QWidget*>())
        if (DesignerOnly(child) && child->isVisible()) return nullptr;
    return image;
}

}  // namespace

QImage RenderPagePicture(QWidget& page, QImage& picture, const QRect& area) {
    // The page draws every frame for the screen anyway: its store is read rather than drawn a
    // second time. The ground's alpha byte, if the store keeps one, is opaque already.
    if (const QImage* drawn = DrawnPicture(page))
        return QImage(drawn->constBits(), page.width(), page.height(), drawn->bytesPerLine(), QImage::Format_RGB32);
    if (picture.size() != page.size() || picture.format() != QImage::Format_RGB32) {
        picture = QImage(page.size(), QImage::Format_RGB32);
        picture.fill(Qt::black);
    }
    if (picture.isNull()) return picture;
    {
        QPainter painter(&picture);
        RenderTree(page, painter, QPoint(0, 0), area & page.rect());
    }
    return picture;
}

}  // namespace zl
