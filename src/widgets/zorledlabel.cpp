#include "widgets/zorledlabel.h"

#include <QPainter>

#include "qtbase/application.h"
#include "qtbase/qtstrings.h"
#include "widgets/paint.h"

namespace zl {

void (*EditLabel)(Tzorledlabel& label) = nullptr;

Tzorledlabel::Tzorledlabel(Component* owner, QWidget* parent) : QWidget(parent), Control(this, owner) {
    SetParentColor(true);
    resize(65, 17);
}

void Tzorledlabel::SetAlignment(int v) { if (v != alignment_) { alignment_ = v; Changed(); } }
void Tzorledlabel::SetLayout(int v) { if (v != layout_) { layout_ = v; Changed(); } }
void Tzorledlabel::SetWordWrap(bool v) { if (v != wordWrap_) { wordWrap_ = v; Changed(); } }
void Tzorledlabel::SetShowAccelChar(bool v) { if (v != showAccelChar_) { showAccelChar_ = v; Changed(); } }
void Tzorledlabel::SetTransparent(bool v) { if (v != transparent_) { transparent_ = v; Changed(); } }
void Tzorledlabel::SetAutoSize(bool v) { if (v != autoSize_) { autoSize_ = v; Changed(); } }

void Tzorledlabel::Loaded() { AdjustSize(); }

void Tzorledlabel::Changed() {
    AdjustSize();
    Control::Changed();
}

int Tzorledlabel::TextFlags() const {
    int flags = ToQAlignment(alignment_);
    switch (layout_) {
        case tlCenter: flags |= Qt::AlignVCenter; break;
        case tlBottom: flags |= Qt::AlignBottom; break;
        default: flags |= Qt::AlignTop; break;
    }
    if (wordWrap_) flags |= Qt::TextWordWrap;
    // "&" underlines the next character and "&&" shows one "&", as mnemonics do in Qt.
    if (showAccelChar_) flags |= Qt::TextShowMnemonic;
    return flags;
}

void Tzorledlabel::AdjustSize() {
    if (!autoSize_ || adjusting_ || IsLoading()) return;
    adjusting_ = true;
    const QFontMetrics metrics(ToQFont(EffectiveFont()));
    const QString text = Q(caption_);
    const QRect bounds = wordWrap_ ? metrics.boundingRect(QRect(0, 0, std::max(width(), 1), 100000), TextFlags(), text)
                                   : metrics.boundingRect(QRect(), TextFlags() & ~Qt::TextWordWrap, text);
    resize(wordWrap_ ? width() : std::max(bounds.width(), 1), std::max(bounds.height(), metrics.height()));
    adjusting_ = false;
}

void Tzorledlabel::paintEvent(QPaintEvent*) try {
    QPainter painter(this);
    if (!transparent_) painter.fillRect(rect(), ToQColor(EffectiveColor()));
    painter.setFont(ToQFont(EffectiveFont()));
    painter.setPen(ToQColor(EffectiveFont().Color()));
    painter.drawText(rect(), TextFlags(), Q(caption_));
} catch (...) {
    ReportCurrentError(*this);
}

const ClassInfo& Tzorledlabel::StaticClass() {
    using namespace decl;
    using T = Tzorledlabel;
    static const PropInfo props[] = {
        common::Tag<T>(), common::Left<T>(), common::Top<T>(), common::Width<T>(), common::Height<T>(),
        common::Cursor<T>(), common::Hint<T>(), common::HelpType<T>(), common::HelpKeyword<T>(),
        common::HelpContext<T>(), common::Align<T>(),
        Access<T, &T::Alignment, &T::SetAlignment>("Alignment", PropKind::Enum, taLeftJustify, &kAlignmentNames),
        common::Anchors<T>(),
        Access<T, &T::AutoSize, &T::SetAutoSize>("AutoSize", PropKind::Enum, 1, &kBooleanNames),
        common::BiDiMode<T>(), common::Caption<T>(), common::Color<T>(), common::Constraints<T>(),
        common::DragCursor<T>(), common::DragKind<T>(), common::DragMode<T>(), common::Enabled<T>(),
        With(Field<T, &T::FocusControl>("FocusControl", PropKind::Reference),
             [](const Persistent& p) { return !static_cast<const T&>(p).FocusControl.empty(); }),
        common::Font<T>(), common::ParentBiDiMode<T>(), common::ParentColor<T>(true), common::ParentFont<T>(true),
        common::ParentShowHint<T>(), common::PopupMenu<T>(),
        Access<T, &T::ShowAccelChar, &T::SetShowAccelChar>("ShowAccelChar", PropKind::Enum, 1, &kBooleanNames),
        common::ShowHint<T>(),
        Access<T, &T::Transparent, &T::SetTransparent>("Transparent", PropKind::Enum, std::nullopt, &kBooleanNames),
        Access<T, &T::Layout, &T::SetLayout>("Layout", PropKind::Enum, tlTop, &kTextLayoutNames),
        common::Visible<T>(1),
        Access<T, &T::WordWrap, &T::SetWordWrap>("WordWrap", PropKind::Enum, 0, &kBooleanNames),
        Event("OnClick"), Event("OnContextPopup"), Event("OnDblClick"),
        Event("OnDragDrop"), Event("OnDragOver"), Event("OnEndDock"),
        Event("OnEndDrag"), Event("OnMouseDown"), Event("OnMouseMove"),
        Event("OnMouseUp"), Event("OnMouseEnter"), Event("OnMouseLeave"),
        Event("OnStartDock"), Event("OnStartDrag"),
    };
    static const ClassInfo label{"TLabel", nullptr, props};
    static const ClassInfo info{"Tzorledlabel", &label, {}, {},
                                [](Component* owner) -> Component* { return new Tzorledlabel(owner); }};
    return info;
}

}  // namespace zl
