#include "editors/fontdialog.h"

#include <QFontDialog>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "editors/colorbox.h"
#include "editors/editorlook.h"
#include "qtbase/fonts.h"
#include "qtbase/qtstrings.h"
#include "qtbase/control.h"
#include "widgets/paint.h"

namespace zl {
namespace {

QFont ToChooserFont(const TFont& font) {
    QFont chooser(DrawingFamily(Q(font.Name())));
    const QFont drawn = Control::ToQFont(font);
    chooser.setPointSize(std::max(1, MulDiv(drawn.pixelSize(), 72, 96)));
    chooser.setBold(drawn.bold());
    chooser.setItalic(drawn.italic());
    chooser.setUnderline(drawn.underline());
    chooser.setStrikeOut(drawn.strikeOut());
    return chooser;
}

}  // namespace

TFontDialog::TFontDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("FontDialog1");
    setWindowTitle(U("字体"));
    setFont(DialogFont());
    Chooser = new QFontDialog(this);
    Chooser->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
    Chooser->setWindowFlags(Qt::Widget);
    ColorBox = new TColorBox(this);
    ColorBox->setMinimumWidth(160);
    ButtonOk = new QPushButton(U("确定"), this);
    ButtonCancel = new QPushButton(U("取消"), this);

    auto* colorRow = new QHBoxLayout;
    auto* colorLabel = new QLabel(U("颜色："), this);
    colorLabel->setFont(CaptionFont());
    colorRow->addWidget(colorLabel);
    colorRow->addWidget(ColorBox);
    colorRow->addStretch();
    colorRow->addWidget(ButtonOk);
    colorRow->addWidget(ButtonCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Chooser);
    layout->addLayout(colorRow);
    connect(ButtonOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool TFontDialog::Execute() {
    Chooser->setCurrentFont(ToChooserFont(Font));
    ColorBox->SetSelected(Font.Color());
    if (exec() != QDialog::Accepted) return false;
    TakeChoice();
    return true;
}

void TFontDialog::TakeChoice() {
    const QFont chosen = Chooser->currentFont();
    Font.SetName(Gbk(StoredFontName(chosen.family(), Q(Font.Name()))));
    const int pixels = chosen.pointSize() > 0 ? MulDiv(chosen.pointSize(), 96, 72) : chosen.pixelSize();
    Font.SetHeight(-std::clamp(pixels, 1, kFontHeightLimit));
    std::int64_t style = 0;
    if (chosen.bold()) style |= Bit(fsBold);
    if (chosen.italic()) style |= Bit(fsItalic);
    if (chosen.underline()) style |= Bit(fsUnderline);
    if (chosen.strikeOut()) style |= Bit(fsStrikeOut);
    Font.SetStyle(style);
    if (const auto color = ColorBox->Selected()) Font.SetColor(*color);
}

TLabelFont::TLabelFont(QWidget* parent) : QLabel(parent) {
    setObjectName("Labelfont");
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setAutoFillBackground(true);
    QPalette look = palette();
    look.setColor(QPalette::Window, Qt::white);
    setPalette(look);
}

void TLabelFont::Show(const TFont& font) {
    font_.Assign(font);
    setText(Q(font_.Name()));
    // Drawn in the font itself, but never taller than the label.
    QFont drawn = Control::ToQFont(font_);
    drawn.setPixelSize(std::min(drawn.pixelSize(), 16));
    setFont(drawn);
    QPalette look = palette();
    look.setColor(QPalette::WindowText, ToQColor(font_.Color()));
    setPalette(look);
    update();
}

bool TLabelFont::Choose() {
    TFontDialog dialog(window());
    dialog.Font.Assign(font_);
    if (!dialog.Execute()) return false;
    Show(dialog.Font);
    return true;
}

}  // namespace zl
