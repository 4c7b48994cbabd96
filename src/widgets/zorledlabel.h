#pragma once
#include <QWidget>

#include "qtbase/control.h"

namespace zl {

// A static text in a font and colour, with or without a background.
class Tzorledlabel : public QWidget, public Control {
    Q_OBJECT
public:
    explicit Tzorledlabel(Component* owner, QWidget* parent = nullptr);
    static const ClassInfo& StaticClass();
    const ClassInfo& Class() const override { return StaticClass(); }

    int Alignment() const { return alignment_; }
    void SetAlignment(int v);
    int Layout() const { return layout_; }
    void SetLayout(int v);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool v);
    bool ShowAccelChar() const { return showAccelChar_; }
    void SetShowAccelChar(bool v);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool v);
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool v);
    std::string FocusControl;

    void Changed() override;
    void Loaded() override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int TextFlags() const;
    void AdjustSize();

    int alignment_ = taLeftJustify;
    int layout_ = tlTop;
    bool wordWrap_ = false;
    bool showAccelChar_ = true;
    bool transparent_ = false;
    bool autoSize_ = true;
    bool adjusting_ = false;
};

// Opens the label's property dialog; installed by the editors layer.
extern void (*EditLabel)(Tzorledlabel& label);

}  // namespace zl
