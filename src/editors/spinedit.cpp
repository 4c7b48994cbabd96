#include "editors/spinedit.h"

#include <QLineEdit>
#include <algorithm>
#include <climits>

#include "core/formatsettings.h"
#include "editors/editorlook.h"

namespace zl {

int SpinEditValue(const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? value : 0;
}

TSpinEdit::TSpinEdit(QWidget* parent) : QAbstractSpinBox(parent) {
    setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    setAccelerated(true);
    lineEdit()->setText(QStringLiteral("0"));
    connect(lineEdit(), &QLineEdit::textChanged, this, [this] { emit Changed(); });
}

int TSpinEdit::Value() const { return SpinEditValue(Text()); }

QString TSpinEdit::Text() const { return lineEdit()->text(); }

void TSpinEdit::SetValue(int value) {
    const QString text = QString::number(value);
    if (text != lineEdit()->text()) lineEdit()->setText(text);
}

void TSpinEdit::stepBy(int steps) {
    const long long next = std::clamp<long long>(static_cast<long long>(Value()) + steps, INT_MIN, INT_MAX);
    SetValue(static_cast<int>(next));
    selectAll();
}

QValidator::State TSpinEdit::validate(QString& input, int&) const {
    const QChar decimal = QLatin1Char(CurrentFormatSettings().DecimalSeparator);
    for (const QChar c : input)
        if ((c < u'0' || c > u'9') && c != u'+' && c != u'-' && c != decimal) return QValidator::Invalid;
    return QValidator::Acceptable;
}

TSpinEdit* NewSpinRow(QWidget* parent, const char* before, const char* name, const char* after, int top) {
    NewCaption(parent, before, {8, top + 3, 32, 18});
    auto* spin = new TSpinEdit(parent);
    spin->setObjectName(name);
    spin->setGeometry(42, top, 76, 22);
    NewCaption(parent, after, {122, top + 3, 130, 18});
    return spin;
}

}  // namespace zl
