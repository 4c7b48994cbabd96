#include "aatext/customtext.h"

#include <QGuiApplication>
#include <QPainter>
#include <algorithm>
#include <pwd.h>
#include <unistd.h>

#include "core/codepage.h"
#include "core/datetimeformat.h"
#include "core/props/declare.h"
#include "core/props/enums.h"
#include "qtbase/application.h"
#include "qtbase/qtstrings.h"

namespace zl {
namespace {

constexpr NameEntry kLabelStyle[] = {{"lsLeftJustify", 0}, {"lsCenter", 1},        {"lsRightJustify", 2},
                                     {"lsRegOwner", 3},    {"lsRegOrganization", 4}, {"lsAppTitle", 5},
                                     {"lsDate", 6},        {"lsTime", 7},           {"lsCustom", 8}};
constexpr NameEntry kLabelEffect[] = {{"leOnlyALine", 0}, {"leUntilNextLabel", 1}};
constexpr NameEntry kBackGroundMode[] = {{"bmTiled", 0}, {"bmStretched", 1}, {"bmCenter", 2}, {"bmNormal", 3}};

std::string UpperAscii(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

// Where "<name>" first stands in the line, letters compared without regard to ASCII case.
size_t FindTag(const std::string& line, const std::string& name) {
    if (name.empty()) return std::string::npos;
    return UpperAscii(line).find("<" + UpperAscii(name) + ">");
}

template <class Label, class Items>
void CheckUniqueName(const Items* items, const Label& self, const std::string& current, const std::string& name) {
    if (name.empty() || EqualsIgnoreCase(name, current) || !items) return;
    for (int i = 0; i < items->Count(); ++i)
        if (&(*items)[i] != &self && EqualsIgnoreCase((*items)[i].Name(), name)) throw EDuplicateString();
}

}  // namespace

const NameTable kLabelStyleNames{kLabelStyle};
const NameTable kLabelEffectNames{kLabelEffect};
const NameTable kBackGroundModeNames{kBackGroundMode};

// Font labels.

TFontLabel::TFontLabel(TLabelCollection<TFontLabel>* collection) : collection_(collection) {
    font_.OnChange = [this] { if (collection_) collection_->Changed(); };
    effect_.SetOnChange([this](TNotifyClass&) { if (collection_) collection_->Changed(); });
    effect_.SetOwner(this);
}

void TFontLabel::SetName(const std::string& name) {
    CheckUniqueName(collection_, *this, name_, name);
    if (name == name_) return;
    name_ = name;
    if (collection_) collection_->Changed();
}

void TFontLabel::SetEffect(const TSmoothEffect& effect) {
    effect_.Assign(effect);
    if (collection_) collection_->Changed();
}

void TFontLabel::Assign(const TFontLabel& source) {
    name_ = source.name_;
    font_.Assign(source.font_);
    effect_.Assign(source.effect_);
}

TFontLabel* TFontLabels::AddItem(const std::string& name, const std::string& fontName, int size, TColor color,
                                 std::int64_t style, bool shadow, int offsetX, int offsetY) {
    if (IndexOf(name) >= 0) return nullptr;
    return &AddQuietly([&](TFontLabel& label) {
        label.SetName(name);
        label.Font().SetName(fontName);
        label.Font().SetSize(size);
        label.Font().SetColor(color);
        label.Font().SetStyle(style);
        label.Effect().Shadow().SetEnabled(shadow);
        label.Effect().Shadow().SetOffsetX(offsetX);
        label.Effect().Shadow().SetOffsetY(offsetY);
    });
}

void TFontLabels::Assign(const TFontLabels& source) {
    if (&source == this) return;
    items_.clear();
    for (int i = 0; i < source.Count(); ++i) {
        items_.push_back(std::make_unique<TFontLabel>(this));
        items_.back()->Assign(source[i]);
    }
    Changed();
}

void TFontLabels::ApplyTo(std::string& line, TFont* font, TSmoothEffect* effect) const {
    for (const auto& label : items_) {
        const size_t at = FindTag(line, label->Name());
        if (at == std::string::npos) continue;
        if (font) font->Assign(label->Font());
        if (effect) effect->Assign(label->Effect());
        line.erase(at, label->Name().size() + 2);
    }
}

// User labels.

TUserLabel::TUserLabel(TLabelCollection<TUserLabel>* collection) : collection_(collection) {}

void TUserLabel::SetName(const std::string& name) {
    CheckUniqueName(collection_, *this, name_, name);
    if (name == name_) return;
    name_ = name;
    if (collection_) collection_->Changed();
}

std::string TUserLabel::Text() const {
    std::string text;
    const auto* labels = dynamic_cast<const TUserLabels*>(collection_);
    switch (style_) {
        case lsRegOwner: if (labels) text = labels->RegisteredOwner(); break;
        case lsRegOrganization: if (labels) text = labels->RegisteredOrganization(); break;
        case lsAppTitle: if (auto* app = QCoreApplication::instance()) text = Gbk(app->applicationName()); break;
        case lsDate: text = DateToStr(Now()); break;
        case lsTime: text = TimeToStr(Now()); break;
        case lsCustom: text = text_; break;
        default: break;
    }
    if (OnGetText) OnGetText(const_cast<TUserLabel&>(*this), text);
    return text;
}

void TUserLabel::SetText(const std::string& text) {
    if (style_ != lsCustom || text == text_) return;
    text_ = text;
    if (collection_) collection_->Changed();
}

void TUserLabel::SetStyle(int style) {
    style = std::clamp(style, int(lsLeftJustify), int(lsCustom));
    if (style == style_) return;
    style_ = style;
    if (collection_) collection_->Changed();
}

void TUserLabel::Assign(const TUserLabel& source) {
    name_ = source.name_;
    text_ = source.text_;
    style_ = source.style_;
    OnGetText = source.OnGetText;
}

std::string LogonUserName() {
    std::string name;
    if (const passwd* entry = getpwuid(geteuid()); entry && entry->pw_name) name = entry->pw_name;
    else if (const char* user = getenv("USER")) name = user;
    if (name.size() > 255) name.resize(255);
    return Utf8ToGbk(name);
}

TUserLabels::TUserLabels() {
    // No machine-wide registered owner exists here; the logged-on user stands in for it.
    owner_ = LogonUserName();
}

TUserLabel* TUserLabels::AddItem(const std::string& name, const std::string& text, int style) {
    if (IndexOf(name) >= 0) return nullptr;
    return &AddQuietly([&](TUserLabel& label) {
        label.SetName(name);
        label.SetText(text);
        label.SetStyle(style);
    });
}

void TUserLabels::Assign(const TUserLabels& source) {
    if (&source == this) return;
    items_.clear();
    for (int i = 0; i < source.Count(); ++i) {
        items_.push_back(std::make_unique<TUserLabel>(this));
        items_.back()->Assign(source[i]);
    }
    Changed();
}

void TUserLabels::ApplyTo(std::string& line, int& alignment) const {
    for (const auto& label : items_) {
        const size_t at = FindTag(line, label->Name());
        if (at == std::string::npos) continue;
        line.erase(at, label->Name().size() + 2);
        switch (label->Style()) {
            case lsLeftJustify: alignment = taLeftJustify; break;
            case lsCenter: alignment = taCenter; break;
            case lsRightJustify: alignment = taRightJustify; break;
            default: line.insert(at, label->Text()); break;
        }
    }
}

// Word wrap.

std::string WrapText(std::string_view line, std::string_view breakStr, std::string_view breakChars, int maxCol) {
    if (maxCol < 2) maxCol = 2;
    const int length = static_cast<int>(line.size());
    auto at = [&](int pos) { return line[pos - 1]; };  // positions count from 1
    auto isBreakChar = [&](char c) { return breakChars.find(c) != std::string_view::npos; };
    auto isQuote = [](char c) { return c == '\'' || c == '"'; };
    int pos = 1, col = 1, linePos = 1, breakPos = 0;
    char quote = 0;
    bool existingBreak = false, forced = false;
    std::string result;
    while (pos <= length) {
        const char c = at(pos);
        if (IsGbkLeadByte(static_cast<unsigned char>(c))) {
            if (col >= maxCol - 1) {
                forced = true;
                breakPos = pos - 1;
            }
            ++pos;
            ++col;
        } else if (!breakStr.empty() && c == breakStr[0]) {
            if (quote == 0) {
                existingBreak = EqualsIgnoreCase(line.substr(pos - 1, breakStr.size()), breakStr);
                if (existingBreak) {
                    pos += static_cast<int>(breakStr.size()) - 1;
                    breakPos = pos;
                }
            }
        } else if (isBreakChar(c)) {
            if (quote == 0) breakPos = pos;
        } else if (isQuote(c)) {
            if (c == quote) quote = 0;
            else if (quote == 0) quote = c;
        }
        ++pos;
        ++col;
        if (forced || (quote == 0 && (existingBreak || (col > maxCol && breakPos > linePos)))) {
            col = pos - breakPos;
            result.append(line.substr(linePos - 1, std::max(0, breakPos - linePos + 1)));
            if (!isQuote(c))
                while (pos <= length && (isBreakChar(at(pos)) || at(pos) == '\r' || at(pos) == '\n')) ++pos;
            if (!existingBreak && pos < length) result.append(breakStr);
            ++breakPos;
            linePos = breakPos;
            existingBreak = false;
            forced = false;
        }
    }
    if (linePos <= length) result.append(line.substr(linePos - 1));
    return result;
}

StringList SplitLines(std::string_view text) {
    StringList lines;
    size_t p = 0;
    const size_t end = std::min(text.size(), text.find('\0'));
    while (p < end) {
        size_t q = p;
        while (q < end && text[q] != '\r' && text[q] != '\n') ++q;
        lines.emplace_back(text.substr(p, q - p));
        if (q < end && text[q] == '\r') ++q;
        if (q < end && text[q] == '\n') ++q;
        p = q;
    }
    return lines;
}

StringList WrapLines(std::string_view line, int maxCol) {
    return SplitLines(WrapText(line, "\r\n", "\t !,-.:;?", maxCol));
}

void DrawBackground(TCanvas& canvas, const QRect& rect, int mode, const QImage& graphic, QPoint origin) {
    const TBrushStyle style = canvas.Brush.Style;
    canvas.Brush.Style = TBrushStyle::bsSolid;
    canvas.FillRect(rect.translated(-origin));
    canvas.Brush.Style = style;
    QImage* image = canvas.Image();
    if (graphic.isNull() || !image || image->isNull()) return;
    const int gw = graphic.width(), gh = graphic.height();
    QPainter painter(image);
    painter.setClipRect(rect.translated(-origin));
    painter.translate(-origin);
    switch (mode) {
        case bmTiled: {
            // Only the tiles that meet the visible part of the rectangle.
            const QRect seen = rect.intersected(QRect(origin, image->size()));
            if (seen.isEmpty()) return;
            const int firstRow = std::max(0, (seen.top() - rect.top()) / gh);
            const int lastRow = std::min(rect.height() / gh, (seen.bottom() - rect.top()) / gh);
            const int lastColumn = std::min(rect.width() / gw, (seen.right() - rect.left()) / gw);
            for (int i = firstRow; i <= lastRow; ++i)
                for (int j = 0; j <= lastColumn; ++j) painter.drawImage(rect.left() + gw * j, rect.top() + gh * i, graphic);
            break;
        }
        case bmStretched:
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(rect, graphic);
            break;
        case bmCenter:
            painter.drawImage((rect.right() + 1 + rect.left() - gw) / 2, (rect.bottom() + 1 + rect.top() - gh) / 2, graphic);
            break;
        default:
            painter.drawImage(rect.left(), rect.top(), graphic);
            break;
    }
}

// Controls.

TSmoothGraphicControl::TSmoothGraphicControl(Component* owner, QWidget* parent)
    : QWidget(parent), Control(this, owner), renderer_(std::make_unique<TSmoothFontEx>(&canvas_)) {
    renderer_->Effect().SetOnChange([this](TNotifyClass&) { Changed(); });
    setAttribute(Qt::WA_OpaquePaintEvent);
}

TSmoothGraphicControl::~TSmoothGraphicControl() { destroying_ = true; }

void TSmoothGraphicControl::SetAutoUpdate(bool v) { autoUpdate_ = v; }

void TSmoothGraphicControl::Changed() {
    if (!loaded_ || !autoUpdate_ || IsLoading() || destroying_ || updateLock_ > 0) return;
    Reset();
}

void TSmoothGraphicControl::Loaded() {
    loaded_ = true;
    Prepare();
}

void TSmoothGraphicControl::Paint() {
    if (IsLoading() || destroying_ || updateLock_ > 0) return;
    if (!loaded_) {
        loaded_ = true;
        Prepare();
    }
    if (painting_) return;
    // Cleared however Draw ends, so an error in one paint never stops the next.
    struct Guard {
        bool& flag;
        ~Guard() { flag = false; }
    } guard{painting_};
    painting_ = true;
    Draw();
}

void TSmoothGraphicControl::SetBounds(int left, int top, int width, int height) {
    Control::SetBounds(left, top, width, height);
    Resize();
}

void TSmoothGraphicControl::Resize() {
    if (width() == lastWidth_ && height() == lastHeight_) return;
    lastWidth_ = width();
    lastHeight_ = height();
    Changed();
}

void TSmoothGraphicControl::paintEvent(QPaintEvent*) try {
    QPainter painter(this);
    Present(painter);
} catch (...) {
    ReportCurrentError(*this);
}

void TSmoothGraphicControl::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Resize();
}

void TSmoothGraphicControl::enterEvent(QEnterEvent* event) {
    if (OnMouseEnter) OnMouseEnter();
    QWidget::enterEvent(event);
}

void TSmoothGraphicControl::leaveEvent(QEvent* event) {
    if (OnMouseLeave) OnMouseLeave();
    QWidget::leaveEvent(event);
}

TSmoothCustomText::TSmoothCustomText(Component* owner, QWidget* parent) : TSmoothGraphicControl(owner, parent) {
    fonts_.OnChange = [this] { Changed(); };
    labels_.OnChange = [this] { Changed(); };
}

void TSmoothCustomText::Prepare() {
    BeginUpdate();
    if (Designing && UseDefaultLabels() && fonts_.Count() == 0 && !defaultFontsCreated_) {
        defaultFontsCreated_ = true;
        CreateDefaultFonts();
    }
    if (Designing && UseDefaultLabels() && labels_.Count() == 0 && !defaultLabelsCreated_) {
        defaultLabelsCreated_ = true;
        CreateDefaultLabels();
    }
    EndUpdate();
}

void TSmoothCustomText::CreateDefaultFonts() {
    const std::string hei = Utf8ToGbk("黑体"), kai = Utf8ToGbk("楷体_GB2312");
    fonts_.AddItem("Title1", hei, 12, 0x000000, Bit(fsBold), true, 2, 2);
    fonts_.AddItem("Title2", hei, 9, 0xFF0000, Bit(fsBold), true, 1, 1);
    fonts_.AddItem("Title3", kai, 11, 0xFF0000, 0, true, 2, 2);
    fonts_.AddItem("Text1", kai, 9, 0x000000, 0, false, 1, 1);
    fonts_.AddItem("Text2", kai, 8, 0x808000, 0, true, 1, 1);
}

void TSmoothCustomText::CreateDefaultLabels() {
    labels_.AddItem("Left", "", lsLeftJustify);
    labels_.AddItem("Center", "", lsCenter);
    labels_.AddItem("Right", "", lsRightJustify);
    labels_.AddItem("Owner", "", lsRegOwner);
    labels_.AddItem("Organization", "", lsRegOrganization);
    labels_.AddItem("AppTitle", "", lsAppTitle);
    labels_.AddItem("Date", "", lsDate);
    labels_.AddItem("Time", "", lsTime);
}

// Page file tables.

const ClassInfo& TFontLabel::StaticClass() {
    using namespace decl;
    using T = TFontLabel;
    static const PropInfo props[] = {
        Access<T, &T::Name, &T::SetName>("Name", PropKind::String),
        Nested<T, static_cast<TFont& (T::*)()>(&T::Font)>("Font"),
        Nested<T, static_cast<TSmoothEffect& (T::*)()>(&T::Effect)>("Effect"),
    };
    static const ClassInfo info{"TFontLabel", nullptr, props};
    return info;
}

const ClassInfo& TUserLabel::StaticClass() {
    using namespace decl;
    using T = TUserLabel;
    static const PropInfo props[] = {
        Access<T, &T::Name, &T::SetName>("Name", PropKind::String),
        With(Access<T, &T::StoredText, &T::SetText>("Text", PropKind::String),
             [](const Persistent& p) { return static_cast<const T&>(p).Style() == lsCustom; }),
        Access<T, &T::Style, &T::SetStyle>("Style", PropKind::Enum, lsCustom, &kLabelStyleNames),
        UnboundEvent("OnGetText"),
    };
    static const ClassInfo info{"TUserLabel", nullptr, props};
    return info;
}

const ClassInfo& TFontLabels::StaticClass() {
    static const ClassInfo info{"TFontLabels", nullptr, {}};
    return info;
}

const ClassInfo& TUserLabels::StaticClass() {
    static const ClassInfo info{"TUserLabels", nullptr, {}};
    return info;
}

}  // namespace zl
