#pragma once
#include <QDialog>
#include <QLabel>

#include "core/props/font.h"

class QFontDialog;
class QPushButton;

namespace zl {

class TColorBox;

// The font dialog: the installed families with size and style, and the text colour.
class TFontDialog : public QDialog {
    Q_OBJECT
public:
    explicit TFontDialog(QWidget* parent = nullptr);

    // The font shown at first; after Execute returned true, the font chosen. The character set
    // and pitch stay as given.
    TFont Font;
    bool Execute();

    QFontDialog* Chooser;
    TColorBox* ColorBox;
    QPushButton* ButtonOk;
    QPushButton* ButtonCancel;

private:
    void TakeChoice();
};

// Shows the name of a font, drawn in that font, and keeps a copy of it; "选择" beside it runs
// the font dialog from that copy.
class TLabelFont : public QLabel {
    Q_OBJECT
public:
    explicit TLabelFont(QWidget* parent = nullptr);

    const TFont& Font() const { return font_; }
    void Show(const TFont& font);
    // Runs the font dialog from the font shown; on OK shows the choice and returns true.
    bool Choose();

private:
    TFont font_;
};

}  // namespace zl
