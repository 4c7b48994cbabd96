#include "output/ledpreview.h"

#include <algorithm>
#include <QStringList>

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QScreen>
#include <QTableWidget>
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
    // The picture keeps its share of the window however many outputs the table below lists;
    // the table scrolls.
    layout->addWidget(scroll_, 3);
    table_ = new QTableWidget(0, 8);
    table_->setObjectName("outputs");
    table_->setHorizontalHeaderLabels({U("输出"), U("协议"), U("目标"), U("帧/秒"), U("包/秒"), U("错误"), U("跳过"),
                                       U("最后错误")});
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->setVisible(false);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setWordWrap(false);
    table_->setMinimumHeight(80);
    layout->addWidget(table_, 2);
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
    // An open window keeps the size the operator gave it; a new one fits the screen.
    if (isVisible()) return;
    QSize room(1400, 900);
    if (QScreen* screen = QGuiApplication::primaryScreen()) room = room.boundedTo(screen->availableGeometry().size() * 9 / 10);
    const int rows = std::min<int>(static_cast<int>(outputs.size()), 8);
    const QSize want = dots_->sizeHint() + QSize(40, 130 + rows * table_->verticalHeader()->defaultSectionSize());
    resize(want.expandedTo(QSize(640, 360)).boundedTo(room));
}

void LedPreview::ShowFrame(int index, const std::uint8_t* wire, size_t bytes) { dots_->ShowFrame(index, wire, bytes); }

void LedPreview::SetStatus(const QString& status) { status_->setText(status); }

QString LedPreview::Status() const { return status_->text(); }

void LedPreview::ShowStats(const std::vector<LedOutputStats>& stats, long long nowMs) {
    QStringList lines;
    table_->setRowCount(static_cast<int>(configs_.size()));
    for (size_t i = 0; i < configs_.size(); ++i) {
        const LedOutputConfig& c = configs_[i];
        const int row = static_cast<int>(i);
        QString line = QString::fromStdString(Describe(c));
        const QString target = c.Multicast() ? U("组播") : QString::fromStdString(Printable(c.host)) + ":" + QString::number(c.port);
        QStringList cells{QString::fromStdString(Printable(c.section)), QString::fromLatin1(ProtocolName(c.protocol).data()),
                          target};
        if (!c.enabled) {
            lines << line + U("：不发送");
            cells << "" << "" << "" << "" << U("不发送");
        } else {
            const LedOutputStats now = i < stats.size() ? stats[i] : LedOutputStats{};
            // Per second since the last reading; nothing to divide by on the first one.
            double frames = 0, packets = 0;
            if (i < previous_.size() && nowMs > previousMs_) {
                const double seconds = static_cast<double>(nowMs - previousMs_) / 1000.0;
                frames = static_cast<double>(now.frames - previous_[i].frames) / seconds;
                packets = static_cast<double>(now.packets - previous_[i].packets) / seconds;
            }
            line += U("：%1 帧/秒，%2 包/秒，错误 %3").arg(frames, 0, 'f', 1).arg(packets, 0, 'f', 0).arg(now.failures);
            if (now.skipped > 0) line += U("，跳过 %1").arg(now.skipped);
            QString error;
            if (!now.problem.empty())
                error = U("现在：") + QString::fromStdString(now.problem);
            else if (!now.lastError.empty())
                error = U("上次错误：") + QString::fromStdString(now.lastError);
            if (!error.isEmpty()) line += U("，") + error;
            cells << QString::number(frames, 'f', 1) << QString::number(packets, 'f', 0) << QString::number(now.failures)
                  << QString::number(now.skipped) << error;
        }
        lines << line;
        for (int column = 0; column < cells.size(); ++column) {
            QTableWidgetItem* item = table_->item(row, column);
            if (!item) table_->setItem(row, column, item = new QTableWidgetItem);
            item->setText(cells[column]);
        }
    }
    outputLines_ = lines.join('\n');
    previous_ = stats;
    previousMs_ = nowMs;
}

QString LedPreview::OutputLines() const { return outputLines_; }

}  // namespace zl
