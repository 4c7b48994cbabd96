#include "widgets/zorledimage.h"

#include <QPainter>

#include "qtbase/application.h"

namespace zl {

void (*EditImage)(Tzorledimage& image) = nullptr;

Tzorledimage::Tzorledimage(Component* owner, QWidget* parent) : QWidget(parent), Control(this, owner) {
    picture_.OnChange = [this] { PictureChanged(); };
    resize(105, 105);
}

void Tzorledimage::SetAutoSize(bool v) { if (v != autoSize_) { autoSize_ = v; PictureChanged(); } }
void Tzorledimage::SetCenter(bool v) { if (v != center_) { center_ = v; Changed(); } }
void Tzorledimage::SetStretch(bool v) { if (v != stretch_) { stretch_ = v; Changed(); } }
void Tzorledimage::SetProportional(bool v) { if (v != proportional_) { proportional_ = v; Changed(); } }
void Tzorledimage::SetTransparent(bool v) { if (v != transparent_) { transparent_ = v; PictureChanged(); } }

void Tzorledimage::PictureChanged() {
    const QImage& image = picture_.Image();
    drawn_ = image;
    if (transparent_ && picture_.GraphicKind() == TPicture::Kind::Bitmap && !image.isNull()) {
        // A bitmap is transparent by the colour of its bottom-left pixel.
        const QRgb key = image.pixel(0, image.height() - 1);
        drawn_ = image.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < drawn_.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(drawn_.scanLine(y));
            for (int x = 0; x < drawn_.width(); ++x)
                if ((row[x] & 0xFFFFFF) == (key & 0xFFFFFF)) row[x] = 0;
        }
    }
    if (autoSize_ && !image.isNull() && !IsLoading()) resize(image.size());
    update();
}

void Tzorledimage::Loaded() { PictureChanged(); }

QRect Tzorledimage::DestRect() const {
    const QSize picture = picture_.Image().size();
    if (picture.isEmpty()) return {};
    int w = picture.width();
    int h = picture.height();
    if (stretch_ || (proportional_ && (w > width() || h > height()))) {
        if (proportional_) {
            const double scale = std::min(double(width()) / w, double(height()) / h);
            w = std::max(1, int(w * scale));
            h = std::max(1, int(h * scale));
        } else {
            w = width();
            h = height();
        }
    }
    int x = 0, y = 0;
    if (center_) {
        x = (width() - w) / 2;
        y = (height() - h) / 2;
    }
    return QRect(x, y, w, h);
}

void Tzorledimage::paintEvent(QPaintEvent*) try {
    if (drawn_.isNull()) return;
    // Nearest-neighbour sampling (no smoothing hint): LED pixel art stays sharp when stretched.
    QPainter painter(this);
    painter.drawImage(DestRect(), drawn_);
} catch (...) {
    ReportCurrentError(*this);
}

const ClassInfo& Tzorledimage::StaticClass() {
    using namespace decl;
    using T = Tzorledimage;
    static const PropInfo props[] = {
        common::Tag<T>(), common::Left<T>(), common::Top<T>(), common::Width<T>(), common::Height<T>(),
        common::Cursor<T>(), common::Hint<T>(), common::HelpType<T>(), common::HelpKeyword<T>(),
        common::HelpContext<T>(), common::Align<T>(), common::Anchors<T>(),
        Access<T, &T::AutoSize, &T::SetAutoSize>("AutoSize", PropKind::Enum, 0, &kBooleanNames),
        Access<T, &T::Center, &T::SetCenter>("Center", PropKind::Enum, 0, &kBooleanNames),
        common::Constraints<T>(), common::DragCursor<T>(), common::DragKind<T>(), common::DragMode<T>(),
        common::Enabled<T>(),
        Field<T, &T::IncrementalDisplay>("IncrementalDisplay", PropKind::Enum, 0, &kBooleanNames),
        common::ParentShowHint<T>(),
        Nested<T, static_cast<TPicture& (T::*)()>(&T::Picture)>("Picture"),
        common::PopupMenu<T>(),
        Access<T, &T::Proportional, &T::SetProportional>("Proportional", PropKind::Enum, 0, &kBooleanNames),
        common::ShowHint<T>(),
        Access<T, &T::Stretch, &T::SetStretch>("Stretch", PropKind::Enum, 0, &kBooleanNames),
        Access<T, &T::Transparent, &T::SetTransparent>("Transparent", PropKind::Enum, 0, &kBooleanNames),
        common::Visible<T>(1),
        Event("OnClick"), Event("OnContextPopup"), Event("OnDblClick"),
        Event("OnDragDrop"), Event("OnDragOver"), Event("OnEndDock"),
        Event("OnEndDrag"), Event("OnMouseDown"), Event("OnMouseMove"),
        Event("OnMouseUp"), Event("OnProgress"), Event("OnStartDock"),
        Event("OnStartDrag"),
    };
    static const ClassInfo image{"TImage", nullptr, props};
    static const ClassInfo info{"Tzorledimage", &image, {}, {},
                                [](Component* owner) -> Component* { return new Tzorledimage(owner); }};
    return info;
}

}  // namespace zl
