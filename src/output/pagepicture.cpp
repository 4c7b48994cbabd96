#include "output/pagepicture.h"

#include <QPainter>
#include <QWidget>

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

}  // namespace

void RenderPagePicture(QWidget& page, QImage& picture, const QRect& area) {
    if (picture.size() != page.size() || picture.format() != QImage::Format_RGB32) {
        picture = QImage(page.size(), QImage::Format_RGB32);
        picture.fill(Qt::black);
    }
    if (picture.isNull()) return;
    QPainter painter(&picture);
    RenderTree(page, painter, QPoint(0, 0), area & page.rect());
}

}  // namespace zl
