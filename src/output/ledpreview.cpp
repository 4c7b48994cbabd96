#include "output/ledpreview.h"

#include <algorithm>
#include <QStringList>

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
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    // A dot a little smaller than its pitch, so neighbours stay apart as on a real panel. Its
    // pixels are wholly open, without soft edges, so a small pitch shows each LED at its full
    // brightness instead of darkening the picture.
    const int gap = pitch_ / 4;  // none below a pitch of 4: a one-pixel dot in a larger cell looks dim
    const int d = std::max(1, pitch_ - gap);
    const int at = (pitch_ - d) / 2;
    if (d <= 3)
        p.fillRect(at, at, d, d, Qt::black);
    else
        p.drawEllipse(QRect(at, at, d, d));
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
    outputs_ = new QLabel;
    outputs_->setObjectName("outputs");
    outputs_->setTextFormat(Qt::PlainText);
    outputs_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(outputs_);
    status_ = new QLabel;
    status_->setObjectName("status");
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    status_->setWordWrap(true);
    layout->addWidget(status_);
    connect(pitch_, &QSpinBox::valueChanged, this, [this](int v) { dots_->SetPitch(v); });
    resize(640, 360);
}

void LedPreview::SetOutputs(const std::vector<LedOutputConfig>& outputs) {
    configs_ = outputs;
    previous_.clear();
    ShowStats({}, 0);
    dots_->SetOutputs(outputs);
    // An open window keeps the size the operator gave it.
    if (isVisible()) return;
    const QSize want = dots_->sizeHint() + QSize(40, 90);
    resize(want.boundedTo(QSize(1400, 900)).expandedTo(QSize(320, 200)));
}

void LedPreview::ShowFrame(int index, const std::uint8_t* wire, size_t bytes) { dots_->ShowFrame(index, wire, bytes); }

void LedPreview::SetStatus(const QString& status) { status_->setText(status); }

QString LedPreview::Status() const { return status_->text(); }

void LedPreview::ShowStats(const std::vector<LedOutputStats>& stats, long long nowMs) {
    QStringList lines;
    for (size_t i = 0; i < configs_.size(); ++i) {
        const LedOutputConfig& c = configs_[i];
        QString line = QString::fromStdString(Describe(c));
        if (!c.enabled) {
            lines << line + U("：不发送");
            continue;
        }
        const LedOutputStats now = i < stats.size() ? stats[i] : LedOutputStats{};
        // Per second since the last reading; nothing to divide by on the first one.
        double frames = 0, packets = 0;
        if (i < previous_.size() && nowMs > previousMs_) {
            const double seconds = static_cast<double>(nowMs - previousMs_) / 1000.0;
            frames = static_cast<double>(now.frames - previous_[i].frames) / seconds;
            packets = static_cast<double>(now.packets - previous_[i].packets) / seconds;
        }
        line += U("：%1 帧/秒，%2 包/秒，错误 %3").arg(frames, 0, 'f', 1).arg(packets, 0, 'f', 0).arg(now.failures);
        if (!now.problem.empty())
            line += U("，现在：") + QString::fromStdString(now.problem);
        else if (!now.lastError.empty())
            line += U("，上次错误：") + QString::fromStdString(now.lastError);
        lines << line;
    }
    outputs_->setText(lines.join('\n'));
    previous_ = stats;
    previousMs_ = nowMs;
}

QString LedPreview::OutputLines() const { return outputs_->text(); }

}  // namespace zl
