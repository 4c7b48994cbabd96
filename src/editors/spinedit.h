#pragma once
#include <QAbstractSpinBox>

namespace zl {

// An integer field with up/down buttons and no bounds. Typing keeps any digits, signs and the
// decimal separator as they stand; text that is not a whole number counts as 0.
class TSpinEdit : public QAbstractSpinBox {
    Q_OBJECT
public:
    explicit TSpinEdit(QWidget* parent = nullptr);

    int Value() const;
    // Shows the value; like every change of the text it raises Changed.
    void SetValue(int value);
    QString Text() const;

    void stepBy(int steps) override;

signals:
    // After every change of the text: each keystroke, each step.
    void Changed();

protected:
    QValidator::State validate(QString& input, int& pos) const override;
    StepEnabled stepEnabled() const override { return StepUpEnabled | StepDownEnabled; }
};

// A text-widget dialog's speed row: "before [field] after", the field named for the tests.
TSpinEdit* NewSpinRow(QWidget* parent, const char* before, const char* name, const char* after, int top);

// The whole number a field's text stands for, or 0 ("-", "1.5", "", out of the 32-bit range).
int SpinEditValue(const QString& text);

}  // namespace zl
