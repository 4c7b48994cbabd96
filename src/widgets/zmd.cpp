#include "widgets/zmd.h"

#include <QPainter>
#include <algorithm>
#include <climits>
#include <cmath>

#include "qtbase/application.h"
#include "qtbase/qtstrings.h"
#include "widgets/paint.h"

namespace zl {
namespace {

constexpr NameEntry kRunDirection[] = {{"diLeftToRight", diLeftToRight},
                                       {"diRightToLeft", diRightToLeft},
                                       {"diTopToBottom", diTopToBottom},
                                       {"diBottomToTop", diBottomToTop}};
constexpr NameEntry kRunFontStyle[] = {{"slNormal", slNormal}, {"slLowered", slLowered}, {"slRaised", slRaised}};

constexpr TColor clBtnHighlight = static_cast<TColor>(0xFF000014u);

constexpr int kMinSpeed = 1;
constexpr int kMaxSpeed = 1000;

// Enough for a 4K-wide marquee in a 250-pixel font.
size_t stripBudget = 64u * 1024 * 1024;

// Halves go to the even neighbour.
int Nearest(double v) { return static_cast<int>(std::nearbyint(v)); }

}  // namespace

const NameTable kRunDirectionNames{kRunDirection};
const NameTable kRunFontStyleNames{kRunFontStyle};

Tzmd::Tzmd(Component* owner, QWidget* parent) : QWidget(parent), Control(this, owner), timer_(CreateTimer()) {
    SetColor(clWindow);
    SetParentColor(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(180, 40);
    // The page renames it at once; a page that already holds a "RunningText" keeps it.
    if (!owner || !owner->FindComponent("RunningText")) SetName("RunningText");
    timer_->SetEnabled(false);
    timer_->SetInterval(speed_);
    timer_->SetOnTimer([this] { Guarded(*this, [this] { FrameTick(); }); });
    layoutTimer_ = CreateTimer();
    layoutTimer_->SetEnabled(false);
    layoutTimer_->SetInterval(1);
    layoutTimer_->SetOnTimer([this] { Guarded(*this, [this] { LayoutTick(); }); });
}

Tzmd::~Tzmd() {
    timer_->SetEnabled(false);
    timer_->SetOnTimer(nullptr);
    layoutTimer_->SetEnabled(false);
    layoutTimer_->SetOnTimer(nullptr);
}

void Tzmd::SetActive(bool v) {
    if (v == active_) return;
    active_ = v;
    passCount_ = 0;
    step_ = 0;
    framed_ = false;
    if (v) {
        timer_->SetEnabled(true);
        update();
    } else {
        timer_->SetEnabled(false);
        DrawFrame();
    }
}

void Tzmd::SetDirection(int v) {
    if (v == direction_) return;
    direction_ = v;
    if (active_) update();
}

void Tzmd::SetTextStyle(int v) {
    if (v == textStyle_) return;
    textStyle_ = v;
    update();
}

void Tzmd::SetTextLayout(int v) {
    if (v == textLayout_) return;
    textLayout_ = v;
    update();
}

void Tzmd::SetSpeed(int v) {
    if (v == speed_) return;
    speed_ = std::clamp(v, kMinSpeed, kMaxSpeed);
    timer_->SetInterval(speed_);
}

void Tzmd::SetRunningCaption(const std::string& v) {
    if (v == runningCaption_) return;
    runningCaption_ = v;
    ++generation_;
    // A running marquee shows it at its next frame; one at rest shows it now.
    if (!active_) update();
}

void Tzmd::SetAlignment(int v) {
    if (v == alignment_) return;
    alignment_ = v;
    Changed();
}

void Tzmd::SetTransparent(bool v) {
    if (v == transparent_) return;
    transparent_ = v;
    // Opaque, the marquee paints every pixel itself and the page beneath is not drawn first.
    setAttribute(Qt::WA_OpaquePaintEvent, !v);
    Changed();
}

void Tzmd::Changed() {
    Control::Changed();
}

void Tzmd::FrameTick() {
    if (!timer_->Enabled()) return;
    if (numRepeat_ > passCount_ || continuous_) {
        ++step_;
        DrawFrame();
        // Reaching or passing the end: Steps may have been lowered below the step mid-pass.
        if (step_ >= steps_) {
            step_ = 0;
            if (!continuous_) ++passCount_;
        }
    } else {
        SetActive(false);
    }
}

void Tzmd::UpdateTextCache() const {
    const QFont font = ToQFont(EffectiveFont());
    if (shown_.generation == generation_ && shown_.font == font) return;
    if (laying_ && pending_.generation == generation_ && pending_.font == font) return;
    pending_ = LaidOutText{};
    pending_.generation = generation_;
    pending_.font = font;
    const QFontMetrics metrics(font);
    pending_.ascent = metrics.ascent();
    pending_.overhang = std::max(8, metrics.height() / 2);
    pending_.xs.push_back(0);
    pendingBytes_ = 0;
    laying_ = true;
    if (!LayoutSlice()) layoutTimer_->SetEnabled(true);
}

bool Tzmd::LayoutSlice() const {
    // A slice ends at a character boundary: GBK lead bytes 0x81..0xFE take a trail byte.
    const std::string& gbk = runningCaption_;
    size_t end = pendingBytes_;
    const size_t limit = std::min(gbk.size(), pendingBytes_ + kSliceBytes);
    while (end < limit) {
        const auto b = static_cast<unsigned char>(gbk[end]);
        end += (b >= 0x81 && b <= 0xFE) ? 2 : 1;
    }
    end = std::min(end, gbk.size());
    const qsizetype from = pending_.text.size();
    pending_.text += Q(std::string_view(gbk).substr(pendingBytes_, end - pendingBytes_));
    pendingBytes_ = end;
    // Fractional advances, so that pieces join exactly as one run of the text would.
    const QFontMetricsF metrics(pending_.font);
    double x = pending_.xs.back();
    pending_.xs.pop_back();
    const QString& text = pending_.text;
    for (qsizetype i = from; i < text.size();) {
        qsizetype n = std::min<qsizetype>(kPieceLength, text.size() - i);
        if (i + n < text.size() && text[i + n - 1].isHighSurrogate()) ++n;
        pending_.starts.push_back(i);
        pending_.xs.push_back(x);
        x += metrics.horizontalAdvance(QStringView(text).mid(i, n).toString());
        i += n;
    }
    pending_.xs.push_back(x);
    if (pendingBytes_ < gbk.size()) return false;
    pending_.starts.push_back(text.size());
    const QFontMetrics whole(pending_.font);
    pending_.box = QSize(static_cast<int>(std::min<double>(std::ceil(x), INT_MAX / 2)) + 2, whole.height() + 2);
    shown_ = std::move(pending_);
    ++layouts_;
    pending_ = LaidOutText{};
    laying_ = false;
    return true;
}

void Tzmd::LayoutTick() {
    UpdateTextCache();
    if (laying_ && !LayoutSlice()) return;
    layoutTimer_->SetEnabled(false);
    update();
}

void Tzmd::SetStripBudget(size_t bytes) { stripBudget = bytes; }
size_t Tzmd::StripBudget() { return stripBudget; }

void Tzmd::DrawVisibleText(QPainter& painter, int x, int baseline, int right) const {
    const auto& t = shown_;
    if (t.starts.size() < 2) return;
    const size_t pieces = t.starts.size() - 1;
    // The first piece reaching into view, allowing for glyphs that overhang their piece.
    const double left = -static_cast<double>(x) - t.overhang;
    size_t k = static_cast<size_t>(std::upper_bound(t.xs.begin(), t.xs.begin() + pieces, left) - t.xs.begin());
    k = k > 0 ? k - 1 : 0;
    for (; k < pieces && x + t.xs[k] < right + t.overhang; ++k)
        painter.drawText(QPointF(x + t.xs[k], baseline),
                         t.text.mid(t.starts[k], t.starts[k + 1] - t.starts[k]));
}

QSize Tzmd::TextBox() const {
    UpdateTextCache();
    return shown_.box;
}

QPoint Tzmd::TextPosition() const {
    const QSize box = TextBox();
    const int w = box.width(), h = box.height();
    const int width = Width(), height = Height();
    int x = 0, y = 0;
    switch (alignment_) {
        case taRightJustify: x = width - w; break;
        case taCenter: x = (width - w) / 2; break;
        default: break;
    }
    switch (textLayout_) {
        case tlCenter: y = (height - h) / 2; break;
        case tlBottom: y = height - h; break;
        default: break;
    }
    if (!active_) return {x, y};
    // No steps at all make every frame the pass's last; a step past the end draws the end.
    const double f = steps_ > 0 ? static_cast<double>(std::min(step_, steps_)) / steps_ : (step_ > 0 ? 1.0 : 0.0);
    switch (direction_) {
        case diLeftToRight: x = Nearest((w + width) * f) - w; break;
        case diRightToLeft: x = Nearest((1 - f) * (w + width)) - w; break;
        case diTopToBottom: y = Nearest((h + height) * f) - h; break;
        case diBottomToTop: y = Nearest((1 - f) * (h + height)) - h; break;
        default: break;
    }
    return {x, y};
}

void Tzmd::DrawFrame() {
    framePosition_ = TextPosition();
    framed_ = true;
    update();
}

void Tzmd::PaintFrame(QPainter& painter) {
    const QColor background = ToQColor(EffectiveColor());
    // A running marquee shows its text from its first frame on: until then it lies outside
    // the starting edge, wherever the properties read so far would put it.
    if (active_ && !framed_) {
        if (!transparent_) painter.fillRect(rect(), background);
        return;
    }
    UpdateTextCache();
    // At rest the text stands where it belongs now, so it survives every repaint.
    const QPoint at = active_ ? framePosition_ : TextPosition();
    if (!transparent_ && !shown_.text.isEmpty()) {
        // The strip brings its own background; the rest of the rectangle is filled.
        QRect covered;
        if (PaintFromStrip(painter, at, covered)) {
            for (const QRect& r : QRegion(rect()).subtracted(covered)) painter.fillRect(r, background);
            return;
        }
    }
    strip_ = Strip{};
    if (!transparent_) painter.fillRect(rect(), background);
    if (shown_.text.isEmpty()) return;
    DrawText(painter, at.x(), at.y() + shown_.ascent, Width());
}

void Tzmd::DrawText(QPainter& painter, int x, int baseline, int right) const {
    painter.setFont(shown_.font);
    if (textStyle_ == slLowered || textStyle_ == slRaised) {
        painter.setPen(ToQColor(textStyle_ == slLowered ? clBtnHighlight : clBtnShadow));
        DrawVisibleText(painter, x + 1, baseline + 1, right);
    }
    painter.setPen(ToQColor(EffectiveFont().Color()));
    DrawVisibleText(painter, x, baseline, right);
}

bool Tzmd::PaintFromStrip(QPainter& painter, QPoint at, QRect& covered) {
    const int width = Width(), height = Height();
    const int textWidth = shown_.box.width();
    // The text's columns in view; none: the background alone is the frame.
    const int viewLeft = std::max(0, -at.x()), viewRight = std::min(textWidth, width - at.x());
    if (viewLeft >= viewRight || at.y() >= height || at.y() + shown_.box.height() <= 0) return true;
    if (shown_.starts.size() < 2) return true;
    // Ink reaches past the box by up to the overhang on every side; a window as wide again as
    // the marquee ahead of the text's travel lasts that many steps before it is drawn anew.
    const int pad = shown_.overhang;
    const int spare = std::max(width, 256);
    const int stripWidth = std::min(width + 2 * pad + spare, textWidth + 2 * pad);
    const int stripHeight = shown_.box.height() + 2 * pad;
    if (static_cast<size_t>(stripWidth) * static_cast<size_t>(stripHeight) * 4 > stripBudget) {
        strip_ = Strip{};
        return false;
    }
    const QRgb background = ToQColor(EffectiveColor()).rgb(), pen = ToQColor(EffectiveFont().Color()).rgb();
    const bool same = !strip_.image.isNull() && strip_.layout == layouts_ && strip_.font == shown_.font &&
                      strip_.background == background && strip_.pen == pen && strip_.style == textStyle_ &&
                      strip_.widgetWidth == width;
    if (!same || viewLeft < strip_.left + pad || viewRight > strip_.left + strip_.image.width() - pad) {
        // The spare room goes where the text is heading: a marquee running left uncovers
        // text further on, one running right text further back.
        int left = viewLeft - pad;
        if (direction_ == diLeftToRight) left -= spare;
        else if (direction_ != diRightToLeft) left -= spare / 2;
        left = std::clamp(left, -pad, std::max(-pad, textWidth + pad - stripWidth));
        if (strip_.image.width() != stripWidth || strip_.image.height() != stripHeight)
            strip_.image = QImage(stripWidth, stripHeight, QImage::Format_RGB32);
        if (strip_.image.isNull()) {
            strip_ = Strip{};
            return false;
        }
        strip_.image.fill(background);
        QPainter p(&strip_.image);
        DrawText(p, -left, pad + shown_.ascent, stripWidth);
        strip_.layout = layouts_;
        strip_.font = shown_.font;
        strip_.background = background;
        strip_.pen = pen;
        strip_.style = textStyle_;
        strip_.left = left;
        strip_.pad = pad;
        strip_.widgetWidth = width;
    }
    // The strip's part in view is copied; what lies around it is the background already.
    const QRect target = QRect(at.x() + strip_.left, at.y() - strip_.pad, strip_.image.width(), strip_.image.height()) &
                         QRect(0, 0, width, height);
    painter.drawImage(target.topLeft(), strip_.image,
                      target.translated(-(at.x() + strip_.left), -(at.y() - strip_.pad)));
    covered = target;
    return true;
}

void Tzmd::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    PaintFrame(painter);
}

const ClassInfo& Tzmd::StaticClass() {
    using namespace decl;
    using T = Tzmd;
    static const PropInfo props[] = {
        common::Tag<T>(), common::Left<T>(), common::Top<T>(), common::Width<T>(), common::Height<T>(),
        common::Cursor<T>(), common::Hint<T>(), common::HelpType<T>(), common::HelpKeyword<T>(),
        common::HelpContext<T>(),
        Access<T, &T::Active, &T::SetActive>("Active", PropKind::Enum, std::nullopt, &kBooleanNames),
        Access<T, &T::Direction, &T::SetDirection>("Direction", PropKind::Enum, std::nullopt, &kRunDirectionNames),
        Access<T, &T::TextStyle, &T::SetTextStyle>("TextStyle", PropKind::Enum, std::nullopt, &kRunFontStyleNames),
        Access<T, &T::NumRepeat, &T::SetNumRepeat>("NumRepeat", PropKind::Integer),
        Access<T, &T::Continuous, &T::SetContinuous>("Continuous", PropKind::Enum, std::nullopt, &kBooleanNames),
        Access<T, &T::Steps, &T::SetSteps>("Steps", PropKind::Integer),
        Access<T, &T::Speed, &T::SetSpeed>("Speed", PropKind::Integer),
        Access<T, &T::TextLayout, &T::SetTextLayout>("TextLayout", PropKind::Enum, tlTop, &kTextLayoutNames),
        Access<T, &T::RunningCaption, &T::SetRunningCaption>("RunningCaption", PropKind::String),
        common::Align<T>(),
        Access<T, &T::Alignment, &T::SetAlignment>("Alignment", PropKind::Enum, taLeftJustify, &kAlignmentNames),
        common::Anchors<T>(), common::BiDiMode<T>(), common::Color<T>(clWindow), common::Constraints<T>(),
        common::DragCursor<T>(), common::DragKind<T>(), common::DragMode<T>(), common::Enabled<T>(),
        With(Field<T, &T::FocusControl>("FocusControl", PropKind::Reference),
             [](const Persistent& p) { return !static_cast<const T&>(p).FocusControl.empty(); }),
        common::Font<T>(), common::ParentBiDiMode<T>(), common::ParentColor<T>(true), common::ParentFont<T>(true),
        common::ParentShowHint<T>(), common::PopupMenu<T>(), common::ShowHint<T>(),
        Access<T, &T::Transparent, &T::SetTransparent>("Transparent", PropKind::Enum, std::nullopt, &kBooleanNames),
        common::Visible<T>(1),
        UnboundEvent("OnClick"), UnboundEvent("OnDblClick"), UnboundEvent("OnDragDrop"), UnboundEvent("OnDragOver"),
        UnboundEvent("OnEndDock"), UnboundEvent("OnEndDrag"), UnboundEvent("OnMouseDown"),
        UnboundEvent("OnMouseMove"), UnboundEvent("OnMouseUp"), UnboundEvent("OnStartDock"),
        UnboundEvent("OnStartDrag"),
    };
    static const ClassInfo info{"Tzmd", nullptr, props};
    return info;
}

}  // namespace zl
