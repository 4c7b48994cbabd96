#include <gtest/gtest.h>

#include <QClipboard>

#include <QButtonGroup>
#include <QCheckBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QFontDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <climits>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/codepage.h"
#include "editors/colorbox.h"
#include "editors/fontdialog.h"
#include "editors/frameinterface.h"
#include "editors/framenamecolor.h"
#include "editors/framerange.h"
#include "editors/frmclockedit.h"
#include "editors/frmformedit.h"
#include "editors/frmimageedit.h"
#include "editors/frmlabeledit.h"
#include "editors/frmscrolltextedit.h"
#include "editors/frmzmdedit.h"
#include "editors/propertyeditors.h"
#include "editors/spinedit.h"
#include "editors/whenmodal.h"
#include "page/frmzorledform.h"
#include "qtbase/application.h"
#include "qtbase/fonts.h"
#include "qtbase/qtstrings.h"
#include "support/scratchdir.h"
#include "widgets/zorledclock.h"
#include "widgets/zorledimage.h"
#include "widgets/zorledlabel.h"
#include "widgets/zorledscrolltext.h"
#include "widgets/zorledzmd.h"

namespace zl {
namespace {

using testing::WhenModal;

std::string G(const char* utf8) { return Utf8ToGbk(utf8); }

// A click near the left edge, where a check box or radio item has its mark.
void Click(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
}

// Empties a text field as the operator does: select all, delete.
void ClearField(QWidget* field) {
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Delete);
}

// Collects errors that would have gone to a message box.
class Reports {
public:
    Reports() {
        previous_ = SetErrorReporter([this](const QString& m) { messages.push_back(m.toStdString()); });
    }
    ~Reports() { SetErrorReporter(std::move(previous_)); }
    std::vector<std::string> messages;

private:
    ErrorReporter previous_;
};

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override {
        time_ = std::make_unique<ManualTimeSource>(MakeLocalMs(2026, 5, 20, 9, 30));
        scopedTime_ = std::make_unique<ScopedTimeSource>(*time_);
        ResetWidgetCounters();
        page_ = std::make_unique<TFrmZorLedForm>();
        page_->SetName("LedDesignWin");
    }
    void TearDown() override {
        page_.reset();
        scopedTime_.reset();
    }
    template <class W>
    W& Create(int kind) {
        return *dynamic_cast<W*>(page_->CreateWidget(kind));
    }

    std::unique_ptr<ManualTimeSource> time_;
    std::unique_ptr<ScopedTimeSource> scopedTime_;
    std::unique_ptr<TFrmZorLedForm> page_;
};

TEST(SpinEdit, TextThatIsNotAWholeNumberCountsAsZero) {
    struct Case {
        const char* text;
        int value;
    } cases[] = {{"-5", -5}, {"+7", 7}, {"-", 0}, {"", 0}, {"1.5", 0}, {"2147483647", INT_MAX},
                 {"2147483648", 0}, {"-2147483648", INT_MIN}, {"5-", 0}};
    for (const Case& c : cases) EXPECT_EQ(SpinEditValue(QString::fromUtf8(c.text)), c.value) << c.text;
}

TEST(SpinEdit, TakesOnlyDigitsSignsAndTheDecimalSeparatorAndStepsWithoutBounds) {
    TSpinEdit spin;
    spin.show();
    ClearField(&spin);
    QTest::keyClicks(&spin, "a-1x.");
    EXPECT_EQ(spin.Text(), "-1.");
    ClearField(&spin);
    QTest::keyClicks(&spin, "-32768");
    QTest::keyClick(&spin, Qt::Key_Down);
    EXPECT_EQ(spin.Value(), -32769);
    spin.SetValue(INT_MAX);
    QTest::keyClick(&spin, Qt::Key_Up);
    EXPECT_EQ(spin.Value(), INT_MAX);
}

TEST_F(Dialogs, RangeFieldsMoveTheTargetAtEveryKeystroke) {
    // What the target holds after each keystroke typed into an emptied field.
    struct Case {
        const char* field;
        const char* typed;
        std::vector<int> seen;
    } cases[] = {
        {"SpinEditLeft", "-5", {0, -5}},
        {"SpinEditTop", "1.5", {1, 0, 0}},
        {"SpinEditWidth", "+42", {0, 4, 42}},
        {"SpinEditheight", "7", {7}},
    };
    for (const Case& c : cases) {
        auto& label = Create<Tzorledlabel>(wkLabel);
        TFrmLabelEdit dialog;
        dialog.BindControl(label);
        dialog.show();
        auto* field = dialog.FrameRange1->findChild<TSpinEdit*>(c.field);
        ASSERT_NE(field, nullptr) << c.field;
        const auto read = [&] {
            const std::string f = c.field;
            return f == "SpinEditLeft" ? label.Left() : f == "SpinEditTop" ? label.Top()
                 : f == "SpinEditWidth" ? label.Width() : label.Height();
        };
        ClearField(field);
        std::vector<int> seen;
        QObject::connect(field, &TSpinEdit::Changed, [&] { seen.push_back(read()); });
        QTest::keyClicks(field, c.typed);
        EXPECT_EQ(seen, c.seen) << c.field << " " << c.typed;
    }
}

TEST_F(Dialogs, BindingShowsValuesAndWritesNothing) {
    // A label that takes the page's colour and font must keep doing so after its dialog opened.
    auto& label = Create<Tzorledlabel>(wkLabel);
    label.SetParentFont(true);
    page_->SetColor(0xC0DCC0);
    ASSERT_TRUE(label.ParentColor());
    TFrmLabelEdit dialog;
    dialog.BindControl(label);
    EXPECT_TRUE(label.ParentColor());
    EXPECT_TRUE(label.ParentFont());
    EXPECT_EQ(dialog.Framenamecolor1->ColorBox1->currentText(), QString::fromUtf8("美元绿"));
    EXPECT_EQ(dialog.FrameRange1->SpinEditLeft->Value(), 30);
    EXPECT_EQ(dialog.FrameRange1->SpinEditheight->Value(), 20);
    EXPECT_EQ(dialog.Labelname->text(), "mylabel1");
    EXPECT_EQ(dialog.Editcaption->text(), QString::fromUtf8("标签"));
}

TEST_F(Dialogs, ColourListHoldsStandardExtendedAndSystemColours) {
    TColorBox box;
    EXPECT_EQ(box.itemData(0).toInt(), clBlack);
    EXPECT_EQ(box.itemData(15).toInt(), clWhite);
    EXPECT_EQ(box.itemData(19).toInt(), 0xA4A0A0);
    EXPECT_GE(box.findData(clBtnFace), 20);
    box.SetSelected(clRed);
    EXPECT_EQ(box.Selected(), clRed);
    // A colour without a name (one picked with "...") shows as itself, never as a blank row.
    const int named = box.count();
    for (TColor unnamed : {TColor(0x123456), TColor(8453888)}) {
        box.SetSelected(unnamed);
        EXPECT_EQ(box.Selected(), unnamed);
        EXPECT_EQ(box.count(), named + 1) << "one entry for it, reused";
        EXPECT_FALSE(box.itemIcon(box.currentIndex()).isNull());
    }
    EXPECT_EQ(box.currentText(), QString::fromUtf8("自定义 #00FF80"));
    box.SetSelected(clRed);
    EXPECT_EQ(box.Selected(), clRed);
}

TEST_F(Dialogs, ColourAndFontChangeTheTargetIndependently) {
    auto& label = Create<Tzorledlabel>(wkLabel);
    TFrmLabelEdit dialog;
    dialog.BindControl(label);
    dialog.show();
    TColorBox* box = dialog.Framenamecolor1->ColorBox1;
    box->setCurrentIndex(box->findData(clYellow));
    emit box->activated(box->currentIndex());
    EXPECT_EQ(label.Color(), clYellow);
    EXPECT_EQ(label.Font().Name(), G("宋体"));

    const TFont before = label.Font();
    WhenModal<TFontDialog>([](TFontDialog& d) { d.reject(); });
    Click(dialog.Framenamecolor1->BitBtnselectfont);
    EXPECT_TRUE(label.Font() == before);
    EXPECT_EQ(dialog.Framenamecolor1->Labelfont->text(), QString::fromUtf8("宋体"));

    WhenModal<TFontDialog>([](TFontDialog& d) {
        QFont chosen(QString::fromUtf8("AR PL UKai CN"));
        chosen.setPointSize(20);
        chosen.setUnderline(true);
        d.Chooser->setCurrentFont(chosen);
        d.ColorBox->SetSelected(clBlue);
        d.accept();
    });
    Click(dialog.Framenamecolor1->BitBtnselectfont);
    EXPECT_EQ(label.Font().Name(), G("楷体_GB2312"));
    EXPECT_EQ(label.Font().Height(), -27);
    EXPECT_EQ(label.Font().Style(), Bit(fsUnderline));
    EXPECT_EQ(label.Font().Color(), clBlue);
    EXPECT_EQ(label.Color(), clYellow);
    EXPECT_EQ(dialog.Framenamecolor1->Labelfont->text(), QString::fromUtf8("楷体_GB2312"));
}

TEST(FontNames, InstalledFamiliesAreStoredUnderTheirWindowsNames) {
    struct Case {
        const char* family;
        const char* current;
        const char* stored;
    } cases[] = {
        {"AR PL UMing CN", "MS Sans Serif", "宋体"},
        {"WenQuanYi Zen Hei", "宋体", "黑体"},
        {"AR PL UKai CN", "宋体", "楷体_GB2312"},
        {"AR PL UKai CN", "隶书", "隶书"},
        {"DejaVu Sans", "MS Sans Serif", "MS Sans Serif"},
        {"DejaVu Serif", "宋体", "DejaVu Serif"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(StoredFontName(QString::fromUtf8(c.family), QString::fromUtf8(c.current)).toStdString(), c.stored)
            << c.family << " from " << c.current;
}

TEST_F(Dialogs, DataSourceFrameIgnoresWidgetsWithoutDataRefresh) {
    auto& label = Create<Tzorledlabel>(wkLabel);
    auto& clock = Create<Tzorledclock>(wkClock);
    for (Control* target : std::initializer_list<Control*>{&label, &clock}) {
        TFrameinterface frame;
        frame.show();
        const std::string caption = target->Caption();
        frame.BindControl(*target);
        EXPECT_EQ(frame.RadioGroupItems->checkedId(), 0);
        EXPECT_TRUE(frame.EditTextFileName->text().isEmpty());
        EXPECT_EQ(frame.SpinEditDataRefreshTime->Value(), 0);
        Click(frame.RadioGroupItems->button(2));
        QTest::keyClicks(frame.EditTextFileName, "a.txt");
        QTest::keyClicks(frame.SpinEditDataRefreshTime, "5");
        EXPECT_EQ(target->Caption(), caption);
    }
}

TEST(RefreshTime, SecondsBecomeMillisecondsWithinTheThirtyTwoBitRange) {
    EXPECT_EQ(RefreshSecondsToMs(5), 5000);
    EXPECT_EQ(RefreshSecondsToMs(-3), -3000);
    EXPECT_EQ(RefreshSecondsToMs(2147484), INT_MAX);
    EXPECT_EQ(RefreshSecondsToMs(INT_MIN), INT_MIN);
}

TEST_F(Dialogs, ClockDisplayContentRules) {
    auto& clock = Create<Tzorledclock>(wkClock);
    TFrmClockEdit dialog;
    dialog.BindControl(clock);
    dialog.show();
    EXPECT_FALSE(dialog.DateTimePicker1->isEnabled());
    Click(dialog.RadioGroupdaysItems->button(DTweek));
    EXPECT_EQ(clock.DisplayType, DTweek);
    EXPECT_TRUE(dialog.EditDATEFORMAT->text().isEmpty());
    EXPECT_TRUE(clock.DATEFORMAT.empty());
    EXPECT_FALSE(dialog.DateTimePicker1->isEnabled());
    Click(dialog.RadioGroupdaysItems->button(DTclock));
    EXPECT_EQ(clock.DATEFORMAT, G("yyyy年MM月dd日 hh:mm:ss"));
    EXPECT_EQ(dialog.EditDATEFORMAT->text(), QString::fromUtf8("yyyy年MM月dd日 hh:mm:ss"));
    Click(dialog.RadioGroupdaysItems->button(DTdays));
    EXPECT_EQ(clock.DisplayType, DTdays);
    EXPECT_EQ(clock.DATEFORMAT, G("安全生产:"));
    EXPECT_TRUE(dialog.DateTimePicker1->isEnabled());

    dialog.DateTimePicker1->setDate(QDate(2024, 3, 5));
    EXPECT_EQ(clock.startdate, "2024-3-5");
    EXPECT_EQ(clock.Caption(), G("安全生产:") + "806" + G("天"));

    Click(dialog.CheckBoxtransparent);
    EXPECT_TRUE(clock.ParentColor());
    Click(dialog.CheckBoxtransparent);
    EXPECT_FALSE(clock.ParentColor());
}

TEST_F(Dialogs, ClockKeepsATypedPrefixWhenOpenedAgain) {
    auto& clock = Create<Tzorledclock>(wkClock);
    {
        TFrmClockEdit dialog;
        dialog.BindControl(clock);
        dialog.show();
        Click(dialog.RadioGroupdaysItems->button(DTdays));
        ClearField(dialog.EditDATEFORMAT);
        QTest::keyClicks(dialog.EditDATEFORMAT, "Safe:");
        EXPECT_EQ(clock.DATEFORMAT, "Safe:");
    }
    TFrmClockEdit again;
    again.BindControl(clock);
    again.show();
    EXPECT_EQ(again.RadioGroupdaysItems->checkedId(), DTdays);
    EXPECT_EQ(again.EditDATEFORMAT->text(), "Safe:");
    EXPECT_TRUE(again.DateTimePicker1->isEnabled());
    Click(again.BitBtnClose);
    EXPECT_EQ(clock.DATEFORMAT, "Safe:");
    EXPECT_EQ(clock.DisplayType, DTdays);

    TFrmClockEdit third;
    third.BindControl(clock);
    third.show();
    Click(third.RadioGroupdaysItems->button(DTdays));
    EXPECT_EQ(clock.DATEFORMAT, G("安全生产:"));
}

TEST_F(Dialogs, ClockWithAnUnreadableStartDateOpensNoDialog) {
    auto& clock = Create<Tzorledclock>(wkClock);
    clock.startdate = "2024/13/45";
    clock.DATEFORMAT = "x";
    // Should a dialog come up after all, close it so the test goes on.
    bool shown = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            shown = true;
            d->reject();
        }
    });
    watch.start(10);
    Reports reports;
    try {
        ShowClockEdit(clock);
        ADD_FAILURE() << "binding did not fail";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "'2024/13/45' is not a valid date");
    }
    InstallPropertyEditors();
    EditClock(clock);
    EXPECT_EQ(reports.messages, std::vector<std::string>{"'2024/13/45' is not a valid date"});
    EXPECT_EQ(clock.DATEFORMAT, "x");
    EXPECT_EQ(clock.startdate, "2024/13/45");
    EXPECT_FALSE(shown);
}

TEST_F(Dialogs, LabelCaptionFollowsEveryKeystroke) {
    auto& label = Create<Tzorledlabel>(wkLabel);
    TFrmLabelEdit dialog;
    dialog.BindControl(label);
    dialog.show();
    ClearField(dialog.Editcaption);
    EXPECT_EQ(label.Caption(), "");
    std::vector<std::string> seen;
    QObject::connect(dialog.Editcaption, &QLineEdit::textChanged, [&] { seen.push_back(label.Caption()); });
    QTest::keyClicks(dialog.Editcaption, "ab");
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "ab"}));
    Click(dialog.CheckBoxtransparent);
    EXPECT_TRUE(label.Transparent());
}

TEST_F(Dialogs, PageDialogAcceptsAnyDisplayTimeAndMovesThePage) {
    TFrmformedit dialog;
    dialog.BindControl(*page_);
    dialog.show();
    EXPECT_EQ(dialog.Labelname->text(), "LedDesignWin");
    EXPECT_EQ(dialog.SpinEditDisplayTime->Value(), 0);
    std::vector<int> seen;
    QObject::connect(dialog.SpinEditDisplayTime, &TSpinEdit::Changed, [&] { seen.push_back(page_->displaytime); });
    ClearField(dialog.SpinEditDisplayTime);
    QTest::keyClicks(dialog.SpinEditDisplayTime, "-3");
    EXPECT_EQ(seen, (std::vector<int>{0, 0, -3}));
    ClearField(dialog.FrameRange1->SpinEditWidth);
    QTest::keyClicks(dialog.FrameRange1->SpinEditWidth, "300");
    EXPECT_EQ(page_->Width(), 300);
    EXPECT_EQ(page_->ClientWidth(), 294);
    EXPECT_FALSE(dialog.Framenamecolor1->Labelfont->isVisibleTo(&dialog));
}

class PictureDialog : public Dialogs {
protected:
    void Choose(const std::filesystem::path& file) {
        WhenModal<QFileDialog>([file](QFileDialog& d) {
            d.selectFile(QString::fromStdString(file.string()));
            static_cast<QDialog&>(d).accept();
        });
        Click(dialog_.BitBtnselectGraph);
    }
    testing::ScratchDir dir_{"imageedit"};
    TFrmimageEdit dialog_;
};

TEST_F(PictureDialog, BrokenFileKeepsTheOldPictureAndTheDialogOpen) {
    auto& image = Create<Tzorledimage>(wkImage);
    dialog_.BindControl(image);
    dialog_.show();
    const std::string before = image.Picture().Bytes();
    std::ofstream(dir_ / "broken.bmp") << "not a bitmap";
    Reports reports;
    Choose(dir_ / "broken.bmp");
    EXPECT_EQ(reports.messages, std::vector<std::string>{"Bitmap image is not valid"});
    EXPECT_EQ(image.Picture().Bytes(), before);
    EXPECT_TRUE(dialog_.isVisible());

    WhenModal<QFileDialog>([](QFileDialog& d) { d.reject(); });
    Click(dialog_.BitBtnselectGraph);
    EXPECT_EQ(image.Picture().Bytes(), before);

    QImage picture(4, 3, QImage::Format_RGB888);
    picture.fill(Qt::red);
    ASSERT_TRUE(picture.save(QString::fromStdString((dir_ / "red.bmp").string())));
    Choose(dir_ / "red.bmp");
    EXPECT_EQ(image.Picture().Image().size(), QSize(4, 3));
    EXPECT_EQ(reports.messages.size(), 1u);

    Click(dialog_.CheckBoxstretch);
    EXPECT_TRUE(image.Stretch());
}

class BoardDialog : public Dialogs {
protected:
    TSmoothScrollText& Board(const StringList& lines) {
        auto* board = new TSmoothScrollText(page_.get(), page_.get());
        board->SetName("myscrolltext1");
        board->SetScrollQuality(tqLow);
        board->Text().SetLines(lines);
        return *board;
    }
};

TEST_F(BoardDialog, OpeningAndClosingKeepsTheLinesExactly) {
    const StringList cases[] = {{"a", "", ""}, {""}, {}, {"", "b"}, {G("<b>滚动</b>文字"), "  x  "}};
    for (const StringList& lines : cases) {
        EXPECT_EQ(MemoLines(MemoTextOf(lines)), lines);
        TSmoothScrollText& board = Board(lines);
        int changes = 0;
        auto previous = board.Text().LinesHolder().OnChange;
        board.Text().LinesHolder().OnChange = [&] { ++changes; if (previous) previous(); };
        TFrmScrollTextEdit dialog;
        dialog.BindControl(board);
        dialog.show();
        Click(dialog.BitBtnClose);
        EXPECT_EQ(board.Text().Lines(), lines);
        EXPECT_EQ(changes, 0);
        delete &board;
    }
}

TEST_F(BoardDialog, EveryChangeOfTheMemoReplacesAllLinesAsOneChange) {
    TSmoothScrollText& board = Board({"one", "two"});
    TFrmScrollTextEdit dialog;
    dialog.BindControl(board);
    dialog.show();
    int changes = 0;
    auto previous = board.Text().LinesHolder().OnChange;
    board.Text().LinesHolder().OnChange = [&] { ++changes; if (previous) previous(); };
    dialog.MemoText->moveCursor(QTextCursor::End);
    QTest::keyClicks(dialog.MemoText, "3");
    EXPECT_EQ(board.Text().Lines(), (StringList{"one", "two", "3"}));
    EXPECT_EQ(changes, 1);
    ClearField(dialog.MemoText);
    EXPECT_TRUE(board.Text().Lines().empty());
}

TEST_F(BoardDialog, SpeedIsHandedOverModulo65536) {
    TSmoothScrollText& board = Board({"a"});
    TFrmScrollTextEdit dialog;
    dialog.BindControl(board);
    dialog.show();
    EXPECT_EQ(dialog.SpinEditSpeed->Value(), board.ScrollDelay());
    const std::pair<const char*, int> cases[] = {{"70000", 4464}, {"-1", 65535}, {"300", 300}};
    for (const auto& [typed, delay] : cases) {
        ClearField(dialog.SpinEditSpeed);
        QTest::keyClicks(dialog.SpinEditSpeed, typed);
        EXPECT_EQ(board.ScrollDelay(), delay) << typed;
    }
    ClearField(dialog.SpinEditSteps);
    QTest::keyClicks(dialog.SpinEditSteps, "3");
    EXPECT_EQ(board.ScrollStep(), 3);

    TColorBox* box = dialog.ColorBox1;
    box->setCurrentIndex(box->findData(0x800000));
    emit box->activated(box->currentIndex());
    EXPECT_EQ(board.Text().BackColor(), 0x800000);
    WhenModal<TFontDialog>([](TFontDialog& d) {
        d.Chooser->setCurrentFont(QFont(QString::fromUtf8("WenQuanYi Zen Hei"), 12));
        d.accept();
    });
    Click(dialog.BitBtnselectfont);
    EXPECT_EQ(board.Text().Font().Name(), G("黑体"));
    EXPECT_EQ(board.Text().Font().Height(), -16);
}

TEST_F(Dialogs, MarqueeSpeedFieldKeepsWhatWasTypedAndTextIsOneLine) {
    auto& marquee = Create<Tzorledzmd>(wkMarquee);
    TFrmZmdEdit dialog;
    dialog.BindControl(marquee);
    dialog.show();
    EXPECT_EQ(dialog.Editcaption->text(), QString::fromUtf8("走马灯文字"));
    ClearField(dialog.SpinEditSpeed);
    QTest::keyClicks(dialog.SpinEditSpeed, "2000");
    EXPECT_EQ(dialog.SpinEditSpeed->Text(), "2000");
    EXPECT_EQ(marquee.Speed(), 1000);
    ClearField(dialog.SpinEditSteps);
    QTest::keyClicks(dialog.SpinEditSteps, "40");
    EXPECT_EQ(marquee.Steps(), 40);

    ClearField(dialog.Editcaption);
    QTest::keyClicks(dialog.Editcaption, "ab");
    QTest::keyClick(dialog.Editcaption, Qt::Key_Return);
    QTest::keyClicks(dialog.Editcaption, "c");
    EXPECT_EQ(marquee.RunningCaption(), "abc");
    EXPECT_TRUE(dialog.isVisible());

    // Pasted line breaks of every kind become spaces, in the field and in the text.
    ClearField(dialog.Editcaption);
    QApplication::clipboard()->setText(QString::fromUtf8("欢迎\r\n乘车\n平安\r到达"));
    dialog.Editcaption->paste();
    EXPECT_EQ(dialog.Editcaption->text(), QString::fromUtf8("欢迎 乘车 平安 到达"));
    EXPECT_EQ(marquee.RunningCaption(), Utf8ToGbk("欢迎 乘车 平安 到达"));
}

TEST_F(Dialogs, DataSourceFrameEditsMarqueesAndBoards) {
    testing::ScratchDir dir("datasource");
    std::ofstream(dir / "news.txt") << "x";
    std::ofstream(dir / "feed.so") << "x";
    auto& marquee = Create<Tzorledzmd>(wkMarquee);
    auto& board = Create<TzorledScrollText>(wkScrollText);
    board.SetScrollQuality(tqLow);
    struct Case {
        Control* widget;
        std::function<TFrameinterface*()> open;
        QString exeFilter, exeSuffix;
    };
    TFrmZmdEdit zmdDialog;
    TFrmScrollTextEdit boardDialog;
    const Case cases[] = {
        {&marquee, [&] { zmdDialog.BindControl(marquee); zmdDialog.show(); return zmdDialog.Frameinterface1; },
         QString::fromUtf8("所有支持文件 (*.exe *.EXE *.so)"), "exe"},
        {&board, [&] { boardDialog.BindControl(board); boardDialog.show(); return boardDialog.Frameinterface1; },
         QString::fromUtf8("所有支持文件 (*.dll *.DLL *.so)"), ""},
    };
    for (const Case& c : cases) {
        const auto props = DataSourceOf(*c.widget);
        ASSERT_TRUE(props);
        props->setDataRefreshTime(180000);
        TFrameinterface* frame = c.open();
        EXPECT_EQ(frame->SpinEditDataRefreshTime->Value(), 180);
        ClearField(frame->SpinEditDataRefreshTime);
        QTest::keyClicks(frame->SpinEditDataRefreshTime, "5");
        EXPECT_EQ(props->DataRefreshTime(), 5000);
        Click(frame->RadioGroupItems->button(datafromexetxt));
        EXPECT_EQ(props->datainterface(), datafromexetxt);

        QStringList filters;
        QString suffix;
        WhenModal<QFileDialog>([&](QFileDialog& d) {
            filters = d.nameFilters();
            suffix = d.defaultSuffix();
            d.selectFile(QString::fromStdString((dir / "feed.so").string()));
            static_cast<QDialog&>(d).accept();
        });
        Click(frame->BitBtnselexefile);
        EXPECT_EQ(filters, QStringList{c.exeFilter});
        EXPECT_EQ(suffix, c.exeSuffix);
        EXPECT_EQ(props->ExeFileName(), (dir / "feed.so").string());
        WhenModal<QFileDialog>([&](QFileDialog& d) {
            d.selectFile(QString::fromStdString((dir / "news.txt").string()));
            static_cast<QDialog&>(d).accept();
        });
        Click(frame->BitBtnseltxtfile);
        EXPECT_EQ(props->TextFileName(), (dir / "news.txt").string());
        EXPECT_EQ(frame->EditTextFileName->text().toStdString(), (dir / "news.txt").string());
    }
}

// A double-click as the window system delivers it, at a point of the page's client area.
void DoubleClick(QWidget* page, QPoint p) {
    QWidget* target = page->childAt(p);
    if (!target) target = page;
    const QPointF local = target->mapFrom(page, QPointF(p));
    const QPointF global = page->mapToGlobal(QPointF(p));
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                              QEvent::MouseButtonRelease}) {
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, local, global, Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    }
}

TEST_F(Dialogs, DoubleClickOpensTheDialogOfWhatIsUnderTheMouse) {
    InstallPropertyEditors();
    auto& label = Create<Tzorledlabel>(wkLabel);
    auto& image = Create<Tzorledimage>(wkImage);
    auto& clock = Create<Tzorledclock>(wkClock);
    auto& marquee = Create<Tzorledzmd>(wkMarquee);
    auto& board = Create<TzorledScrollText>(wkScrollText);
    board.SetScrollQuality(tqLow);
    page_->show();
    const auto centre = [](Control& c) { return QPoint(c.Left() + c.Width() / 2, c.Top() + c.Height() / 2); };
    struct Case {
        QPoint at;
        const char* dialog;
        std::string name;
    } cases[] = {
        {centre(label), "FrmLabelEdit", "mylabel1"},
        {centre(image), "FrmimageEdit", "myzorledIMAGE1"},
        {centre(clock), "FrmClockEdit", "myclock1"},
        {centre(marquee), "FrmZmdEdit", "myzmd1"},
        {QPoint(board.Left() + 10, board.Top() + board.Height() - 10), "FrmScrollTextEdit", "myscrolltext1"},
        {QPoint(600, 400), "Frmformedit", "LedDesignWin"},
    };
    for (const Case& c : cases) {
        page_->Selection->Add(&label);
        std::string opened, named;
        WhenModal<TPropertyDialog>([&](TPropertyDialog& d) {
            opened = d.objectName().toStdString();
            named = d.Labelname->text().toStdString();
            Click(d.BitBtnClose);
        });
        DoubleClick(page_.get(), c.at);
        EXPECT_EQ(opened, c.dialog);
        EXPECT_EQ(named, c.name);
        EXPECT_EQ(page_->Selection->Count(), 0) << c.dialog;
    }
}

TEST_F(Dialogs, DialogClosesWhenItsTargetGoesAway) {
    auto* label = &Create<Tzorledlabel>(wkLabel);
    WhenModal<TFrmLabelEdit>([&](TFrmLabelEdit&) { delete label; });
    ShowLabelEdit(*label);
    EXPECT_EQ(page_->FindComponent("mylabel1"), nullptr);
}

}  // namespace
}  // namespace zl
