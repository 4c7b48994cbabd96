#include "aatext/scrolltext.h"

#include <QBackingStore>
#include <QPaintEngine>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "aatext/randomsource.h"
#include "core/codepage.h"
#include "qtbase/application.h"
#include "core/props/declare.h"
#include "core/props/enums.h"
#include "widgets/paint.h"

namespace zl {
namespace {

constexpr NameEntry kQuality[] = {{"aqHigh", 0}, {"aqNormal", 1}, {"aqLow", 2}, {"aqNone", 3}};
const NameTable kQualityNames{kQuality};

// Layout of a text still being laid out goes on in slices of this many lines per step.
constexpr size_t kLinesPerStep = 200;
constexpr int kLayoutStepMs = 1;

StringList GbkLines(std::initializer_list<const char*> utf8) {
    StringList lines;
    for (const char* line : utf8) lines.push_back(Utf8ToGbk(line));
    return lines;
}

QImage::Format BandFormat() { return QImage::Format_RGB32; }

}  // namespace

// Parameters.

TCustomParam::TCustomParam(TSmoothGraphicControl* control, ChangeHandler onChange)
    : TNotifyClass(std::move(onChange)), control_(control) {
    backGround_.OnChange = [this] { Changed(); };
}

void TCustomParam::Assign(const TNotifyClass& source) {
    TNotifyClass::Assign(source);
    const auto* other = dynamic_cast<const TCustomParam*>(&source);
    if (!other || other == this) return;
    control_ = other->control_;
    alignment_ = other->alignment_;
    wordWrap_ = other->wordWrap_;
    auto handler = std::move(backGround_.OnChange);
    backGround_ = other->backGround_;
    backGround_.OnChange = std::move(handler);
    backGroundMode_ = other->backGroundMode_;
}

void TCustomParam::SetBackGround(const TPicture& picture) {
    if (&picture == &backGround_) return;
    auto handler = std::move(backGround_.OnChange);
    backGround_ = picture;
    backGround_.OnChange = std::move(handler);
    Changed();
}

TFont& TCustomParam::Font() { return control_->Font(); }
TColor TCustomParam::BackColor() const { return control_->Color(); }
void TCustomParam::SetBackColor(TColor color) { control_->SetColor(color); }
TSmoothQuality TCustomParam::Quality() const { return control_->Renderer().Quality(); }

void TCustomParam::SetQuality(TSmoothQuality quality) {
    if (quality == Quality()) return;
    control_->Renderer().SetQuality(quality);
    Changed();
}

TCustomTextParam::TCustomTextParam(TSmoothGraphicControl* control, ChangeHandler onChange)
    : TCustomParam(control, std::move(onChange)), fontEffect_(ChildHandler()) {
    lines_.OnChange = [this] { Changed(); };
}

void TCustomTextParam::Assign(const TNotifyClass& source) {
    TCustomParam::Assign(source);
    const auto* other = dynamic_cast<const TCustomTextParam*>(&source);
    if (!other || other == this) return;
    rowPitch_ = other->rowPitch_;
    labelEffect_ = other->labelEffect_;
    lines_.SetLines(other->lines_.Lines());
}

TScrollTextParam::TScrollTextParam(TSmoothGraphicControl* control, ChangeHandler onChange)
    : TCustomTextParam(control, std::move(onChange)) {
    LinearRandom random(static_cast<std::uint32_t>(Now()));
    lines_.SetLines(random.Below(5) == 1 ? DefaultTextB() : DefaultTextA());
    alignment_ = taCenter;
}

void TScrollTextParam::SetHeadSpace(int v) {
    if (v == headSpace_) return;
    headSpace_ = std::clamp(v, 0, 150);
    Changed();
}

void TScrollTextParam::SetTailSpace(int v) {
    if (v == tailSpace_) return;
    tailSpace_ = std::clamp(v, 0, 150);
    Changed();
}

const StringList& TScrollTextParam::DefaultTextA() {
    static const StringList lines = GbkLines({
        "<Title1>欢迎使用LED显示系统",
        "",
        "<Title2>系统简介",
        "<Text1>本系统为LED显示屏编排页面并按方案播放，",
        "<Text1>文字经过平滑处理，在屏幕上缓缓向上滚动。",
        "",
        "<Title2>使用单位",
        "<Text1><Owner>",
        "<Text1><Organization>",
        "",
        "<Title2>操作提示",
        "<Text1>双击显示板即可修改文字、字体与颜色，",
        "<Text1>文字中的标签决定每一行的字体和对齐方式。",
        "",
        "<Title3>祝您工作顺利",
        "<Text1><Date>",
    });
    return lines;
}

const StringList& TScrollTextParam::DefaultTextB() {
    static const StringList lines = GbkLines({
        "<Center><Title4>平滑滚动文字",
        "",
        "<Text2>每一行文字都经过抗锯齿处理，边缘柔和清晰，",
        "<Text2>阴影、渐变与描边让标题更加醒目。",
        "",
        "<Text3>显示板可以从文本文件或数据模块读取内容，",
        "<Text3>每次刷新后从头开始滚动显示。",
    });
    return lines;
}

// Wrappers.

const ClassInfo& TDrag::StaticClass() {
    static const PropInfo props[] = {
        [] {
            PropInfo p{"DragKind", PropKind::Enum, &kDragKindNames, dkDrag};
            p.get = [](const Persistent& o) { return PropValue::Int(static_cast<const TDrag&>(o).control_->DragKind); };
            p.set = [](Persistent& o, const PropValue& v) { static_cast<TDrag&>(o).control_->DragKind = int(v.i); };
            return p;
        }(),
        [] {
            PropInfo p{"DragCursor", PropKind::Integer, nullptr, crDrag};
            p.intNames = IntNames::Cursor;
            p.get = [](const Persistent& o) { return PropValue::Int(static_cast<const TDrag&>(o).control_->DragCursor); };
            p.set = [](Persistent& o, const PropValue& v) { static_cast<TDrag&>(o).control_->DragCursor = int(v.i); };
            return p;
        }(),
        [] {
            PropInfo p{"DragMode", PropKind::Enum, &kDragModeNames, dmManual};
            p.get = [](const Persistent& o) { return PropValue::Int(static_cast<const TDrag&>(o).control_->DragMode); };
            p.set = [](Persistent& o, const PropValue& v) { static_cast<TDrag&>(o).control_->DragMode = int(v.i); };
            return p;
        }(),
    };
    static const ClassInfo info{"TDrag", nullptr, props};
    return info;
}

const ClassInfo& TParentEffect::StaticClass() {
    static const PropInfo props[] = {
        [] {
            PropInfo p{"ParentColor", PropKind::Enum, &kBooleanNames, 1};
            p.get = [](const Persistent& o) { return PropValue::Int(static_cast<const TParentEffect&>(o).control_->ParentColor()); };
            p.set = [](Persistent& o, const PropValue& v) { static_cast<TParentEffect&>(o).control_->SetParentColor(v.i != 0); };
            return p;
        }(),
        [] {
            PropInfo p{"ParentFont", PropKind::Enum, &kBooleanNames, 1};
            p.get = [](const Persistent& o) { return PropValue::Int(static_cast<const TParentEffect&>(o).control_->ParentFont()); };
            p.set = [](Persistent& o, const PropValue& v) { static_cast<TParentEffect&>(o).control_->SetParentFont(v.i != 0); };
            return p;
        }(),
        [] {
            PropInfo p{"ParentShowHint", PropKind::Enum, &kBooleanNames, 1};
            p.get = [](const Persistent& o) { return PropValue::Int(static_cast<const TParentEffect&>(o).control_->ParentShowHint); };
            p.set = [](Persistent& o, const PropValue& v) { static_cast<TParentEffect&>(o).control_->ParentShowHint = v.i != 0; };
            return p;
        }(),
    };
    static const ClassInfo info{"TParentEffect", nullptr, props};
    return info;
}

// The control.

TSmoothScrollText::TSmoothScrollText(Component* owner, QWidget* parent)
    : TSmoothCustomText(owner, parent), drag_(this), parentEffect_(this) {
    text_ = std::make_unique<TScrollTextParam>(this, [this](TNotifyClass&) { Changed(); });
    scrollTimer_ = std::make_unique<TTimerEx>();
    scrollTimer_->OnTimer = [this] { Guarded(*this, [this] { ScrollTick(); }); };
    delayTimer_ = CreateTimer();
    delayTimer_->SetOnTimer([this] { Guarded(*this, [this] { DelayTick(); }); });
    layoutTimer_ = CreateTimer();
    layoutTimer_->SetInterval(kLayoutStepMs);
    layoutTimer_->SetOnTimer([this] {
        Guarded(*this, [this] {
            if (!LayoutStep()) layoutTimer_->SetEnabled(false);
        });
    });
    position_ = 0;
    repeatCount_ = 0;
    active_ = true;
    SetRepeatDelay(2000);
    SetScrollStep(1);
    SetScrollDelay(60);
    SetScrollQuality(tqHigh);
    SetColor(0xFFFFFF);
    Control::SetBounds(0, 0, 240, 280);
}

TSmoothScrollText::~TSmoothScrollText() {
    destroying_ = true;
    SetActive(false);
    layoutTimer_.reset();
    scrollTimer_.reset();
    delayTimer_.reset();
}

void TSmoothScrollText::SetActive(bool v) {
    if (v == active_) return;
    active_ = v;
    scrollTimer_->SetEnabled(v);
    if (!v) delayTimer_->SetEnabled(false);
}

void TSmoothScrollText::SetScrollDelay(int v) {
    v = std::clamp(v, 0, 65535);
    if (v == scrollDelay_) return;
    scrollDelay_ = v;
    scrollTimer_->SetInterval(v);
}

void TSmoothScrollText::SetScrollStep(int v) {
    if (v == scrollStep_) return;
    scrollStep_ = v <= 0 ? 1 : v;
}

void TSmoothScrollText::SetScrollQuality(int v) {
    scrollTimer_->SetQuality(static_cast<TTimerQuality>(std::clamp(v, 0, 2)));
}

void TSmoothScrollText::SetRepeatCount(int v) {
    v = std::max(v, 0);
    if (v == repeatCount_) return;
    repeatCount_ = v;
    Changed();
}

void TSmoothScrollText::SetRepeatDelay(int v) {
    v = std::clamp(v, 0, 65535);
    if (v == repeatDelay_) return;
    repeatDelay_ = v;
    delayTimer_->SetInterval(v);
}

void TSmoothScrollText::SetAutoUpdate(bool v) {
    if (v == AutoUpdate()) return;
    TSmoothCustomText::SetAutoUpdate(v);
    if (v && Designing) Changed();
}

void TSmoothScrollText::SetBounds(int left, int top, int width, int height) {
    TSmoothCustomText::SetBounds(left, top, std::max(width, 20), std::max(height, 20));
}

void TSmoothScrollText::CreateDefaultFonts() {
    TSmoothCustomText::CreateDefaultFonts();
    const std::string li = Utf8ToGbk("隶书");
    if (TFontLabel* title = Fonts().AddItem("Title4", li, 22, 0x000000, Bit(fsBold), true, 2, 2)) {
        TSmoothEffect& e = title->Effect();
        e.Gradual().SetEnabled(true);
        e.Gradual().SetStyle(gsLeftToRight);
        e.Gradual().SetStartColor(0xFF2200);
        e.Gradual().SetEndColor(0x2210FF);
        e.SetOutline(true);
        e.SetBlur(50);
    }
    if (TFontLabel* text = Fonts().AddItem("Text3", li, 11, 0xFF0000, 0, true, 1, 1)) {
        TSmoothEffect& e = text->Effect();
        e.Gradual().SetEnabled(true);
        e.Gradual().SetStyle(gsTopToBottom);
        e.Gradual().SetStartColor(0xCC3311);
        e.Gradual().SetEndColor(0xFF22AA);
    }
}

void TSmoothScrollText::Prepare() {
    TSmoothCustomText::Prepare();
    Reset();
}

void TSmoothScrollText::Reset() {
    const bool wasActive = active_;
    repeatedCount_ = -1;
    SetActive(false);
    // A rebuild that fails leaves the board running as it was, so a later change can mend it.
    struct Restore {
        TSmoothScrollText& self;
        bool active;
        ~Restore() { self.SetActive(active); }
    } restore{*this, wasActive};
    CreateText();
    position_ = 0;
    Paint();
}

// Layout.

std::shared_ptr<const TextRow::Style> TSmoothScrollText::Snapshot(const TFont& font, const TSmoothEffect& effect) const {
    auto style = std::make_shared<TextRow::Style>();
    style->font.Assign(font);
    style->effect.Assign(effect);
    return style;
}

void TSmoothScrollText::CreateText() {
    BeginUpdate();
    bands_.clear();
    ++layoutGeneration_;
    layoutTimer_->SetEnabled(false);
    Layout& l = layout_;
    l.rows.clear();
    l.lines = text_->Lines();
    l.next = 0;
    l.width = width();
    l.height = 0;
    l.maxRowHeight = 0;
    l.complete = false;
    l.font.Assign(Font());
    l.effect.Assign(text_->FontEffect());
    l.alignment = text_->Alignment();
    l.baseStyle = Snapshot(l.font, l.effect);
    l.style = l.baseStyle;
    l.y = (text_->Fade() ? FadeHeightUsed() : 0) + height() * text_->HeadSpace() / 100;
    // What the first screen needs comes now; the rest follows step by step, so a long text
    // never holds up the scroll or the program.
    LayoutUntil(height());
    if (!l.complete) layoutTimer_->SetEnabled(true);
    EndUpdate();
}

bool TSmoothScrollText::LayoutStep() {
    if (layout_.complete) return false;
    BeginUpdate();
    const size_t end = std::min(layout_.lines.size(), layout_.next + kLinesPerStep);
    while (layout_.next < end) LayoutLine(layout_.lines[layout_.next++]);
    if (layout_.next == layout_.lines.size()) FinishLayout();
    EndUpdate();
    return !layout_.complete;
}

void TSmoothScrollText::LayoutUntil(int bottom) {
    // Rows ink a little past their own height (shadows); one more row keeps bands exact.
    while (!layout_.complete && layout_.y < bottom + 2 * layout_.maxRowHeight) {
        BeginUpdate();
        if (layout_.next < layout_.lines.size()) LayoutLine(layout_.lines[layout_.next++]);
        if (layout_.next == layout_.lines.size()) FinishLayout();
        EndUpdate();
    }
}

namespace {

// A row whose text could reach far past the board on both sides (the text of a feed of one very
// long line) is drawn only where the board shows it: drawn whole, its mask alone could pass what
// a row may take. Every character is taken as at most as wide as the row is high.
bool IsWideRow(size_t bytes, int height, int boardWidth) {
    constexpr std::int64_t kMinWide = 16384;
    return static_cast<std::int64_t>(bytes) * std::max(height, 1) > std::max<std::int64_t>(kMinWide, 4 * std::int64_t{boardWidth});
}

}  // namespace

void TSmoothScrollText::LayoutLine(const std::string& source) {
    Layout& l = layout_;
    TSmoothFontEx& renderer = Renderer();
    TCanvas& canvas = RendererCanvas();
    if (text_->LabelEffect() == leOnlyALine) {
        l.font.Assign(Font());
        l.effect.Assign(text_->FontEffect());
        l.alignment = text_->Alignment();
        l.style = l.baseStyle;
    }
    std::string line = source;
    const size_t before = line.size();
    Fonts().ApplyTo(line, &l.font, &l.effect);
    if (line.size() != before) l.style = Snapshot(l.font, l.effect);
    Labels().ApplyTo(line, l.alignment);

    canvas.Font.Assign(l.style->font);
    renderer.Effect().Assign(l.style->effect);
    const int h = renderer.TextHeight(line + " ");
    const int width = l.width;
    StringList subLines;
    // Only word wrap needs the width now; without it nothing of the line is shaped yet.
    const int w = text_->WordWrap() ? renderer.TextWidth(line) : 0;
    if (text_->WordWrap() && w > width) {
        int m = static_cast<int>(static_cast<std::int64_t>(line.size()) * width / w);
        while (m > 0 && renderer.TextWidth(std::string_view(line).substr(0, m)) > width) --m;
        subLines = WrapLines(line, m);
    } else {
        subLines = SplitLines(line);
        if (subLines.empty()) subLines.push_back(" ");
    }
    const int advance = static_cast<int>(std::nearbyint((text_->RowPitch() / 100.0 + 1) * h));
    l.maxRowHeight = std::max(l.maxRowHeight, h);
    for (std::string& s : subLines) {
        TextRow row{l.y, l.alignment == taLeftJustify ? 0 : TextRow::kUnplaced, h, std::move(s), l.style, l.alignment};
        row.wide = IsWideRow(row.text.size(), h, width);
        if (row.x == TextRow::kUnplaced && text_->WordWrap() && subLines.size() == 1 && row.text == line) Place(row, w);
        l.rows.push_back(std::move(row));
        l.y += advance;
    }
}

void TSmoothScrollText::Place(TextRow& row, int textWidth) {
    row.x = row.alignment == taRightJustify ? layout_.width - textWidth : (layout_.width - textWidth) / 2;
}

void TSmoothScrollText::Place(TextRow& row) { Place(row, Renderer().TextWidth(row.text)); }

void TSmoothScrollText::ClipWideRow(TextRow& row) {
    const std::string_view text = row.text;
    // Character starts (GBK lead bytes take a trail byte) about every kPieceBytes, so the text
    // is measured piece by piece only as far as the board reaches.
    constexpr size_t kPieceBytes = 32;
    std::vector<size_t> starts{0};
    for (size_t i = 0, next = kPieceBytes; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        i += (b >= 0x81 && b <= 0xFE) ? 2 : 1;
        if (i >= next && i < text.size()) {
            starts.push_back(i);
            next = i + kPieceBytes;
        }
    }
    starts.push_back(text.size());
    const size_t pieces = starts.size() - 1;
    TSmoothFontEx& renderer = Renderer();
    // Shadow room counts once for the row, not once a piece.
    const auto width = [&](size_t k) {
        return std::int64_t{renderer.TSmoothFont::TextWidth(text.substr(starts[k], starts[k + 1] - starts[k]))};
    };
    // Where piece `first` starts on the board. A text of a few pieces is measured whole and
    // placed as its alignment places it; a longer one is pinned by its end at the right edge, or
    // by its middle at the middle of the board, without measuring all of it.
    constexpr size_t kMeasuredPieces = 2048;
    const std::int64_t w = layout_.width;
    size_t first = 0;
    std::int64_t x = 0;
    if (row.alignment != taLeftJustify && pieces <= kMeasuredPieces) {
        std::int64_t total = 0;
        for (size_t k = 0; k < pieces; ++k) total += width(k);
        x = row.alignment == taRightJustify ? w - total : (w - total) / 2;
    } else if (row.alignment == taRightJustify) {
        first = pieces;
        x = w;
    } else if (row.alignment != taLeftJustify) {
        first = pieces / 2;
        x = w / 2;
    }
    // Room for glyphs and shadows overhanging the edges.
    const std::int64_t margin = 2 * std::int64_t{row.height};
    while (first > 0 && x > -margin) x -= width(--first);
    for (std::int64_t next; first < pieces && (next = x + width(first)) < -margin; ++first) x = next;
    size_t last = first;
    for (std::int64_t end = x; last < pieces && end < w + margin; ++last) end += width(last);
    row.drawFrom = starts[first];
    row.drawLength = std::max<size_t>(starts[last] - starts[first], 1);
    row.drawX = static_cast<int>(x);
}

const std::vector<TextRow>& TSmoothScrollText::Rows() {
    const TextRow::Style* current = nullptr;
    for (TextRow& row : layout_.rows) {
        if (row.x != TextRow::kUnplaced) continue;
        if (row.style.get() != current) {
            current = row.style.get();
            RendererCanvas().Font.Assign(current->font);
            Renderer().Effect().Assign(current->effect);
        }
        Place(row);
    }
    return layout_.rows;
}

void TSmoothScrollText::FinishLayout() {
    Layout& l = layout_;
    l.complete = true;
    int y = l.y + height() * text_->TailSpace() / 100;
    l.height = std::max(y, height());
    l.lines.clear();
    l.lines.shrink_to_fit();
    if (OnTextReady) OnTextReady();
}

int TSmoothScrollText::TextBmpHeight() {
    LayoutUntil(INT32_MAX / 2);
    return layout_.height;
}

// Bands of the text bitmap.

int TSmoothScrollText::HeldBandRows() const { return static_cast<int>(bands_.size()) * kBandRows; }

const QImage& TSmoothScrollText::BandAt(int index) {
    for (auto it = bands_.begin(); it != bands_.end(); ++it)
        if (it->index == index) {
            bands_.splice(bands_.begin(), bands_, it);
            return bands_.front().image;
        }
    // Enough bands for two screens stay; older ones are made again when needed.
    const size_t keep = static_cast<size_t>(2 * (height() / kBandRows + 2));
    Band band;
    if (bands_.size() >= keep) {
        band = std::move(bands_.back());
        bands_.pop_back();
    }
    band.index = index;
    RenderBand(index, band.image);
    bands_.push_front(std::move(band));
    return bands_.front().image;
}

void TSmoothScrollText::RenderBand(int index, QImage& image) {
    const int top = index * kBandRows;
    LayoutUntil(top + kBandRows);
    const int w = std::max(layout_.width, 1);
    if (image.width() != w || image.height() != kBandRows || image.format() != BandFormat())
        image = QImage(w, kBandRows, BandFormat());
    TCanvas& canvas = RendererCanvas();
    canvas.SetImage(&image);
    canvas.Brush.Color = Color();
    canvas.Brush.Style = TBrushStyle::bsSolid;
    const TPicture& picture = text_->BackGround();
    const int whole = layout_.complete ? layout_.height : std::max(layout_.y, top + kBandRows);
    if (picture.HasGraphic() && !picture.Image().isNull()) {
        // A picture stretched or centred over the whole bitmap needs its height.
        const int bitmapHeight = text_->BackGroundMode() == bmStretched || text_->BackGroundMode() == bmCenter
                                     ? TextBmpHeight()
                                     : whole;
        DrawBackground(canvas, QRect(0, 0, w, bitmapHeight), text_->BackGroundMode(), picture.Image(), QPoint(0, top));
    } else {
        image.fill(ToQColor(Color()));
    }
    canvas.Brush.Style = TBrushStyle::bsClear;
    TSmoothFontEx& renderer = Renderer();
    auto& rows = layout_.rows;
    // Rows are in order of y, and a row inks only its own height (its shadow included): only
    // rows that cross the band are drawn.
    auto first = std::lower_bound(rows.begin(), rows.end(), top - layout_.maxRowHeight,
                                  [](const TextRow& row, int y) { return row.y < y; });
    const TextRow::Style* current = nullptr;
    for (auto it = first; it != rows.end() && it->y < top + kBandRows; ++it) {
        if (it->y + it->height <= top) continue;
        if (it->style.get() != current) {
            current = it->style.get();
            canvas.Font.Assign(current->font);
            renderer.Effect().Assign(current->effect);
        }
        // A row that cannot be drawn (a line far too long for a mask) costs only itself: the
        // other rows show, the error is reported once per text, and the next text may draw.
        try {
            if (it->wide) {
                if (it->drawLength == 0) ClipWideRow(*it);
                renderer.TextOut(it->drawX, it->y - top, std::string_view(it->text).substr(it->drawFrom, it->drawLength));
                continue;
            }
            if (it->x == TextRow::kUnplaced) Place(*it);
            renderer.TextOut(it->x, it->y - top, it->text);
        } catch (const std::exception&) {
            if (reportedGeneration_ != layoutGeneration_) {
                reportedGeneration_ = layoutGeneration_;
                ReportCurrentError(*this);
            }
        }
    }
    canvas.SetImage(nullptr);
}

QImage TSmoothScrollText::TextBmpImage() {
    const int h = TextBmpHeight();
    QImage whole(std::max(layout_.width, 1), h, BandFormat());
    for (int top = 0; top < h; top += kBandRows) {
        const QImage& band = BandAt(top / kBandRows);
        const int rows = std::min(kBandRows, h - top);
        for (int r = 0; r < rows; ++r) std::memcpy(whole.scanLine(top + r), band.constScanLine(r), whole.bytesPerLine());
    }
    return whole;
}

void TSmoothScrollText::CopyRows(int from, int count, int to) {
    const size_t rowBytes = static_cast<size_t>(currBmp_.bytesPerLine());
    while (count > 0) {
        const int index = from / kBandRows;
        const int offset = from % kBandRows;
        const int n = std::min(count, kBandRows - offset);
        const QImage& band = BandAt(index);
        const size_t bytes = std::min(rowBytes, static_cast<size_t>(band.bytesPerLine()));
        for (int r = 0; r < n; ++r) std::memcpy(currBmp_.scanLine(to + r), band.constScanLine(offset + r), bytes);
        from += n;
        to += n;
        count -= n;
    }
}

int TSmoothScrollText::FadeHeightUsed() const {
    // A page file may hold any value; it is kept as read and used within 0..half the board.
    return std::clamp(text_->FadeHeight(), 0, height() / 2);
}

std::pair<int, int> TSmoothScrollText::FadeRows() const {
    const int h = currBmp_.height(), fadeHeight = FadeHeightUsed();
    if (!text_->Fade() || fadeHeight <= 0) return {0, 0};
    // Each band stops at the middle of the control, so rows are faded once.
    return {std::min(fadeHeight, (h + 1) / 2), std::min(fadeHeight, h / 2)};
}

void TSmoothScrollText::FadeBands() {
    const int h = currBmp_.height(), w = currBmp_.width();
    const int fadeHeight = FadeHeightUsed();
    const auto [topRows, bottomRows] = FadeRows();
    if (topRows == 0 || h == 0) return;
    const std::uint32_t rgb = ColorToRGB(Color());
    const int back[3] = {BlueOf(rgb), GreenOf(rgb), RedOf(rgb)};
    std::uint8_t table[3][256];
    auto fadeRow = [&](int row) {
        std::uint8_t* p = currBmp_.scanLine(row);
        for (int i = 0; i < w; ++i, p += 4) {
            p[0] = table[0][p[0]];
            p[1] = table[1][p[1]];
            p[2] = table[2][p[2]];
        }
    };
    // A band of one row is pure background.
    for (int c = 0; c < topRows; ++c) {
        const int f = fadeHeight > 1 ? c * 255 / (fadeHeight - 1) : 0;
        for (int ch = 0; ch < 3; ++ch)
            for (int v = 0; v < 256; ++v) table[ch][v] = static_cast<std::uint8_t>(back[ch] + (((v - back[ch]) * f) >> 8));
        fadeRow(c);
        if (c < bottomRows) fadeRow(h - 1 - c);
    }
}

void TSmoothScrollText::ComposeRows(int position, int textHeight, int from, int count) {
    // CurrBmp row r shows text row (position + r) mod T: the end of the text runs on into its start.
    int row = position + from;
    if (row >= textHeight) row -= textHeight;
    const int first = std::min(count, textHeight - row);
    CopyRows(row, first, from);
    if (count > first) CopyRows(0, count - first, from + first);
}

void TSmoothScrollText::Draw() {
    const int w = width(), h = height();
    int moved = 0;
    if (currBmp_.width() != w || currBmp_.height() != h || currBmp_.format() != BandFormat()) {
        currBmp_ = QImage(w, h, BandFormat());
        shown_ = {};
    }
    if (layout_.width != w) {
        // Not laid out for this width yet (not loaded, or resized while rebuilds wait).
        currBmp_.fill(ToQColor(Color()));
        shown_ = {};
    } else {
        LayoutUntil(position_ + h);
        const Shown now{true, layoutGeneration_, position_, KnownHeight(), Color(), FadeRows(), text_->FadeHeight()};
        const auto [topRows, bottomRows] = now.fadeRows;
        // A step down the same text keeps most of the last frame: its unfaded rows move up in
        // place, which touches far less memory than copying the whole frame from the bands.
        const int step = now.position - shown_.position;
        const int kept = h - topRows - bottomRows - step;
        if (shown_.valid && step > 0 && kept > 0 && shown_.generation == now.generation &&
            shown_.textHeight == now.textHeight && shown_.color == now.color && shown_.fadeRows == now.fadeRows &&
            shown_.fadeHeight == now.fadeHeight) {
            const size_t rowBytes = static_cast<size_t>(currBmp_.bytesPerLine());
            std::uint8_t* bits = currBmp_.bits();
            std::memmove(bits + topRows * rowBytes, bits + (topRows + step) * rowBytes, kept * rowBytes);
            ComposeRows(now.position, now.textHeight, 0, topRows);
            ComposeRows(now.position, now.textHeight, topRows + kept, h - topRows - kept);
            moved = step;
        } else {
            ComposeRows(now.position, now.textHeight, 0, h);
        }
        FadeBands();
        shown_ = now;
    }
    if (destroying_) {
    } else if (moved > 0 && !paintPending_ && isVisible()) {
        // The window's picture of the unfaded rows moves up with them, so only the rows that
        // came into view and the fade bands are painted again.
        const auto [topRows, bottomRows] = shown_.fadeRows;
        scroll(0, -moved, QRect(0, topRows, w, h - topRows - bottomRows));
        if (topRows > 0) update(QRect(0, 0, w, topRows));
        if (bottomRows > 0) update(QRect(0, h - bottomRows, w, bottomRows));
    } else {
        update();
    }
    paintPending_ = !destroying_;
    if (OnPainted) OnPainted();
}

void TSmoothScrollText::Present(QPainter& painter) {
    if (currBmp_.size() != size()) Paint();
    // Only a paint into the window's own store counts; the LED output and grabs render elsewhere.
    if (QBackingStore* store = window()->backingStore();
        store && painter.paintEngine() && painter.paintEngine()->paintDevice() == store->paintDevice())
        paintPending_ = false;
    if (!currBmp_.isNull()) painter.drawImage(0, 0, currBmp_);
}

// Ticks.

void TSmoothScrollText::MoveTo(int p) {
    if (p == position_) return;
    position_ = p;
    if (!layout_.complete) LayoutUntil(p + height());
    if (p < 0 || p > KnownHeight()) position_ = 0;
    Paint();
}

void TSmoothScrollText::ScrollTick() {
    if (position_ == 0) {
        ++repeatedCount_;
        if (repeatCount_ != 0 && repeatedCount_ >= repeatCount_) {
            SetActive(false);
            repeatedCount_ = -1;
            if (OnComplete) OnComplete();
            return;
        }
        if (delayTimer_->Interval() != 0) {
            scrollTimer_->SetEnabled(false);
            delayTimer_->SetEnabled(true);
            return;
        }
    }
    MoveTo(position_ + scrollStep_);
}

void TSmoothScrollText::DelayTick() {
    delayTimer_->SetEnabled(false);
    MoveTo(position_ + scrollStep_);
    if (active_) scrollTimer_->SetEnabled(true);
}

// Page file table.

const ClassInfo& TScrollTextParam::StaticClass() {
    using namespace decl;
    using T = TScrollTextParam;
    static const PropInfo props[] = {
        Access<T, &T::Fade, &T::SetFade>("Fade", PropKind::Enum, 1, &kBooleanNames),
        Access<T, &T::FadeHeight, &T::SetFadeHeight>("FadeHeight", PropKind::Integer, 10),
        Access<T, &T::HeadSpace, &T::SetHeadSpace>("HeadSpace", PropKind::Integer, 0),
        Access<T, &T::TailSpace, &T::SetTailSpace>("TailSpace", PropKind::Integer, 60),
        Access<T, &T::Alignment, &T::SetAlignment>("Alignment", PropKind::Enum, taCenter, &kAlignmentNames),
        Access<T, &T::RowPitch, &T::SetRowPitch>("RowPitch", PropKind::Integer, 20),
        Access<T, &T::WordWrap, &T::SetWordWrap>("WordWrap", PropKind::Enum, 0, &kBooleanNames),
        // Every non-empty text is written, a default one too: an unwritten text would come back
        // as a randomly chosen default after a reload.
        Nested<T, &T::LinesHolder>("Lines"),
        [] {
            PropInfo p{"Quality", PropKind::Enum, &kQualityNames, int(TSmoothQuality::aqNormal)};
            p.get = [](const Persistent& o) { return PropValue::Int(int(static_cast<const T&>(o).Quality())); };
            p.set = [](Persistent& o, const PropValue& v) {
                static_cast<T&>(o).SetQuality(static_cast<TSmoothQuality>(std::clamp<int>(int(v.i), 0, 3)));
            };
            return p;
        }(),
        Nested<T, static_cast<TSmoothEffect& (TCustomTextParam::*)()>(&T::FontEffect)>("FontEffect"),
        Access<T, &T::LabelEffect, &T::SetLabelEffect>("LabelEffect", PropKind::Enum, leUntilNextLabel, &kLabelEffectNames),
        Nested<T, static_cast<TFont& (TCustomParam::*)()>(&T::Font)>("Font"),
        With(Named(Access<T, &T::BackColor, &T::SetBackColor>("BackColor", PropKind::Integer, 0xFFFFFF), IntNames::Color),
             [](const Persistent& o) { return !static_cast<const T&>(o).Control()->ParentColor(); }),
        Nested<T, static_cast<TPicture& (TCustomParam::*)()>(&T::BackGround)>("BackGround"),
        Access<T, &T::BackGroundMode, &T::SetBackGroundMode>("BackGroundMode", PropKind::Enum, bmTiled, &kBackGroundModeNames),
    };
    static const ClassInfo info{"TScrollTextParam", nullptr, props};
    return info;
}

const ClassInfo& TSmoothScrollText::StaticClass() {
    using namespace decl;
    using T = TSmoothScrollText;
    static const PropInfo props[] = {
        common::Tag<T>(), common::Left<T>(), common::Top<T>(),
        [] { PropInfo p = common::Width<T>(); p.ordinalDefault = 240; return p; }(),
        [] { PropInfo p = common::Height<T>(); p.ordinalDefault = 280; return p; }(),
        common::Cursor<T>(), common::Hint<T>(), common::HelpType<T>(), common::HelpKeyword<T>(),
        common::HelpContext<T>(),
        Nested<T, &T::Drag>("Drag"),
        Nested<T, &T::ParentEffect>("ParentEffect"),
        common::Align<T>(), common::Anchors<T>(), common::Constraints<T>(), common::Enabled<T>(),
        common::ShowHint<T>(), common::PopupMenu<T>(), common::Visible<T>(1),
        UnboundEvent("OnClick"), UnboundEvent("OnContextPopup"), UnboundEvent("OnDblClick"),
        UnboundEvent("OnDragDrop"), UnboundEvent("OnDragOver"), UnboundEvent("OnEndDock"),
        UnboundEvent("OnEndDrag"), UnboundEvent("OnMouseDown"), UnboundEvent("OnMouseMove"),
        UnboundEvent("OnMouseUp"), UnboundEvent("OnMouseEnter"), UnboundEvent("OnMouseLeave"),
        UnboundEvent("OnStartDock"), UnboundEvent("OnStartDrag"),
        Nested<T, &TSmoothCustomText::Fonts>("Fonts", PropKind::Collection),
        Nested<T, &TSmoothCustomText::Labels>("Labels", PropKind::Collection),
        Access<T, &T::AutoUpdate, &T::SetAutoUpdate>("AutoUpdate", PropKind::Enum, 1, &kBooleanNames),
        Access<T, &T::Active, &T::SetActive>("Active", PropKind::Enum, 1, &kBooleanNames),
        Access<T, &T::ScrollDelay, &T::SetScrollDelay>("ScrollDelay", PropKind::Integer, 60),
        Access<T, &T::ScrollStep, &T::SetScrollStep>("ScrollStep", PropKind::Integer, 1),
        Access<T, &T::ScrollQuality, &T::SetScrollQuality>("ScrollQuality", PropKind::Enum, tqHigh, &kTimerQualityNames),
        Access<T, &T::RepeatCount, &T::SetRepeatCount>("RepeatCount", PropKind::Integer, 0),
        Access<T, &T::RepeatDelay, &T::SetRepeatDelay>("RepeatDelay", PropKind::Integer, 2000),
        Nested<T, static_cast<TScrollTextParam& (T::*)()>(&T::Text)>("Text"),
        UnboundEvent("OnComplete"), UnboundEvent("OnTextReady"), UnboundEvent("OnPainted"),
    };
    static const ClassInfo info{"TSmoothScrollText", nullptr, props};
    return info;
}

}  // namespace zl
