#include "editors/frmscrolltextedit.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <cstdint>

#include "editors/colorbox.h"
#include "editors/fontdialog.h"
#include "editors/frameinterface.h"
#include "editors/framerange.h"
#include "editors/spinedit.h"
#include "qtbase/qtstrings.h"

namespace zl {

QString MemoTextOf(const StringList& lines) {
    QString text;
    for (const std::string& line : lines) text += Q(line) + u'\n';
    return text;
}

StringList MemoLines(const QString& text) {
    QStringList parts = text.split(u'\n');
    if (!parts.isEmpty() && parts.last().isEmpty()) parts.removeLast();
    StringList lines;
    lines.reserve(parts.size());
    for (const QString& part : parts) lines.push_back(Gbk(part));
    return lines;
}

TFrmScrollTextEdit::TFrmScrollTextEdit()
    : TPropertyDialog("FrmScrollTextEdit", "显示面板属性编辑器", 474, 441) {
    NewCaption(this, "颜色：", {8, 35, 48, 18});
    ColorBox1 = new TColorBox(this);
    ColorBox1->setObjectName("ColorBox1");
    ColorBox1->setGeometry(56, 32, 140, 22);
    NewCaption(this, "字体：", {8, 65, 48, 18});
    Labelfont = new TLabelFont(this);
    Labelfont->setGeometry(56, 62, 140, 22);
    BitBtnselectfont = new QPushButton(U("选择"), this);
    BitBtnselectfont->setObjectName("BitBtnselectfont");
    BitBtnselectfont->setAutoDefault(false);
    BitBtnselectfont->setGeometry(202, 61, 50, 24);
    FrameRange1 = new TFrameRange(this);
    FrameRange1->setGeometry(8, 94, 244, 76);
    SpinEditSpeed = NewSpinRow(this, "每隔", "SpinEditSpeed", "毫秒移动一步", 180);
    SpinEditSteps = NewSpinRow(this, "移动", "SpinEditSteps", "点/步滚动", 210);
    Frameinterface1 = new TFrameinterface(this);
    Frameinterface1->setGeometry(262, 32, 204, 212);
    Frameinterface1->TextFileFilter = U("所有支持文件 (*.txt *.TXT)");
    Frameinterface1->TextFileExt.clear();
    Frameinterface1->ExeFileFilter = U("所有支持文件 (*.dll *.DLL *.so)");
    Frameinterface1->ExeFileExt.clear();
    NewCaption(this, "显示内容定义:", {8, 252, 200, 18});
    MemoText = new QPlainTextEdit(this);
    MemoText->setObjectName("MemoText");
    MemoText->setFont(CaptionFont());
    MemoText->setLineWrapMode(QPlainTextEdit::NoWrap);
    MemoText->setGeometry(8, 272, 458, 124);

    connect(ColorBox1, &TColorBox::Changed, this, GuardedHandler([this] { ColorBox1Change(); }));
    connect(BitBtnselectfont, &QPushButton::clicked, this, GuardedHandler([this] { BitBtnselectfontClick(); }));
    connect(SpinEditSpeed, &TSpinEdit::Changed, this, GuardedHandler([this] { SpinEditSpeedChange(); }));
    connect(SpinEditSteps, &TSpinEdit::Changed, this, GuardedHandler([this] { SpinEditStepsChange(); }));
    connect(MemoText, &QPlainTextEdit::textChanged, this, GuardedHandler([this] { MemoTextChange(); }));
}

void TFrmScrollTextEdit::BindControl(TSmoothScrollText& board) {
    target_.Set(&board);
    FrameRange1->BindControl(board);
    Frameinterface1->BindControl(board);
    ShowTarget(board);
    ColorBox1->SetSelected(board.Text().BackColor());
    Labelfont->Show(board.Text().Font());
    const QSignalBlocker a(SpinEditSpeed), b(SpinEditSteps), c(MemoText);
    SpinEditSpeed->SetValue(board.ScrollDelay());
    SpinEditSteps->SetValue(board.ScrollStep());
    MemoText->setPlainText(MemoTextOf(board.Text().Lines()));
}

void TFrmScrollTextEdit::ColorBox1Change() {
    TSmoothScrollText* board = Target();
    const auto color = ColorBox1->Selected();
    if (board && color) board->Text().SetBackColor(*color);
}

void TFrmScrollTextEdit::BitBtnselectfontClick() {
    if (!Labelfont->Choose()) return;
    if (TSmoothScrollText* board = Target()) board->Text().SetFont(Labelfont->Font());
}

void TFrmScrollTextEdit::SpinEditSpeedChange() {
    if (TSmoothScrollText* board = Target())
        board->SetScrollDelay(static_cast<std::uint16_t>(static_cast<std::uint32_t>(SpinEditSpeed->Value())));
}

void TFrmScrollTextEdit::SpinEditStepsChange() {
    if (TSmoothScrollText* board = Target()) board->SetScrollStep(SpinEditSteps->Value());
}

void TFrmScrollTextEdit::MemoTextChange() {
    if (TSmoothScrollText* board = Target()) board->Text().SetLines(MemoLines(MemoText->toPlainText()));
}

void ShowScrollTextEdit(TSmoothScrollText& board) {
    TFrmScrollTextEdit dialog;
    dialog.BindControl(board);
    dialog.exec();
}

}  // namespace zl
