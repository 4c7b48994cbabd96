#include "output/ledpreview.h"

#include <algorithm>

#include <QHBoxLayout>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>

namespace zl {
namespace {

QString U(const char* s) { return QString::fromUtf8(s); }

constexpr int kMinPitch = 2;
constexpr int kMaxPitch = 24;

}  // namespace

LedDotView::LedDotView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    MakeDot();
}

void LedDotView::SetOutputs(const std::vector<LedOutputConfig>& outputs) {
    panels_.clear();
    bounds_ = QRect();
    for (const LedOutputConfig& c : outputs) {
        Panel p;
        p.config = c;
        p.map = std::make_unique<PixelMap>(c);
        p.pixels = QImage(c.width, c.height, QImage::Format_RGB32);
        p.pixels.fill(Qt::black);
        bounds_ |= QRect(c.x, c.y, c.width, c.height);
        panels_.push_back(std::move(p));
    }
    resize(sizeHint());
    update();
}

void LedDotView::ShowFrame(int index, const std::uint8_t* wire, size_t bytes) {
    if (index < 0 || index >= static_cast<int>(panels_.size())) return;
    Panel& p = panels_[static_cast<size_t>(index)];
    if (bytes != static_cast<size_t>(p.map->Bytes())) return;
    p.map->Unmap(wire, reinterpret_cast<std::uint32_t*>(p.pixels.bits()));
    const QRect at((p.config.x - bounds_.x()) * pitch_, (p.config.y - bounds_.y()) * pitch_,
                   p.config.width * pitch_, p.config.height * pitch_);
    update(at);
}

void LedDotView::SetPitch(int pitch) {
    pitch = std::clamp(pitch, kMinPitch, kMaxPitch);
    if (pitch == pitch_) return;
    pitch_ = pitch;
    MakeDot();
    resize(sizeHint());
    update();
}

QSize LedDotView::sizeHint() const {
    return bounds_.isEmpty() ? QSize(160, 80) : bounds_.size() * pitch_;
}

void LedDotView::MakeDot() {
    dot_ = QImage(pitch_, pitch_, QImage::Format_ARGB32_Premultiplied);
    dot_.fill(Qt::black);
    QPainter p(&dot_);
    p.setRenderHint(QPainter::Antialiasing);
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    // A dot a little smaller than its pitch, so neighbours stay apart as on a real panel.
    const qreal d = pitch_ * 0.8;
    p.drawEllipse(QRectF((pitch_ - d) / 2, (pitch_ - d) / 2, d, d));
}

void LedDotView::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.fillRect(event->rect(), Qt::black);
    for (const Panel& panel : panels_) {
        const QRect at((panel.config.x - bounds_.x()) * pitch_, (panel.config.y - bounds_.y()) * pitch_,
                       panel.config.width * pitch_, panel.config.height * pitch_);
        if (!at.intersects(event->rect())) continue;
        // Each pixel blown up to a square, then everything but the round dot masked off.
        p.drawImage(at, panel.pixels);
        p.setBrushOrigin(at.topLeft());
        p.fillRect(at, QBrush(dot_));
    }
}

LedPreview::LedPreview(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("LedPreview");
    setWindowTitle(U("LED预览"));
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(U("点距:")));
    pitch_ = new QSpinBox;
    pitch_->setRange(kMinPitch, kMaxPitch);
    pitch_->setSuffix(U(" 像素"));
    top->addWidget(pitch_);
    top->addStretch(1);
    layout->addLayout(top);
    dots_ = new LedDotView;
    pitch_->setValue(dots_->Pitch());
    scroll_ = new QScrollArea;
    scroll_->setWidget(dots_);
    scroll_->setBackgroundRole(QPalette::Dark);
    scroll_->setAlignment(Qt::AlignCenter);
    layout->addWidget(scroll_, 1);
    status_ = new QLabel;
    status_->setObjectName("status");
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    status_->setWordWrap(true);
    layout->addWidget(status_);
    connect(pitch_, &QSpinBox::valueChanged, this, [this](int v) { dots_->SetPitch(v); });
    resize(640, 360);
}

void LedPreview::SetOutputs(const std::vector<LedOutputConfig>& outputs) {
    dots_->SetOutputs(outputs);
    const QSize want = dots_->sizeHint() + QSize(40, 90);
    resize(want.boundedTo(QSize(1400, 900)).expandedTo(QSize(320, 200)));
}

void LedPreview::ShowFrame(int index, const std::uint8_t* wire, size_t bytes) { dots_->ShowFrame(index, wire, bytes); }

void LedPreview::SetStatus(const QString& status) { status_->setText(status); }

QString LedPreview::Status() const { return status_->text(); }

}  // namespace zl
