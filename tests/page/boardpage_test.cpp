#include <gtest/gtest.h>

#include <QImage>
#include <memory>

#include "core/atomicfile.h"
#include "core/clock.h"
#include "core/codepage.h"
#include "page/frmzorledform.h"
#include "page/pagefile.h"
#include "support/pagefiletest.h"
#include "widgets/zorledscrolltext.h"

namespace zl {
namespace {

class BoardPage : public testing::PageFileTest {
protected:
    std::unique_ptr<TFrmZorLedForm> Reloaded(TFrmZorLedForm& page) {
        Saved(page, "trip.DFM");
        auto loaded = NewPage();
        LoadPageFile(*loaded, scratch / "trip.DFM");
        loaded->HookAllWidgets();
        loaded->StopWidgets();
        return loaded;
    }
    static TzorledScrollText& BoardOf(TFrmZorLedForm& page) {
        for (Control* c : page.ChildControls())
            if (auto* board = dynamic_cast<TzorledScrollText*>(c)) return *board;
        throw std::runtime_error("no board");
    }
    ManualTimeSource manual{MakeLocalMs(2025, 1, 2, 3, 4, 5)};
    ScopedTimeSource scope{manual};
    const testing::ScratchDir& scratch = scratch_;
};

TEST_F(BoardPage, NewBoardLooksAsCreated) {
    auto page = NewPage();
    auto* board = dynamic_cast<TzorledScrollText*>(page->CreateWidget(wkScrollText));
    ASSERT_NE(board, nullptr);
    EXPECT_EQ(board->Name(), "myscrolltext1");
    EXPECT_EQ(QRect(board->Left(), board->Top(), board->Width(), board->Height()), QRect(70, 100, 200, 120));
    EXPECT_EQ(board->Text().Lines(), (StringList{Utf8ToGbk("led滚动文字"), Utf8ToGbk("滚动文字")}));
    EXPECT_EQ(board->Text().BackColor(), TColor(0));
    EXPECT_FALSE(board->Text().Fade());
    EXPECT_EQ(board->Text().Quality(), TSmoothQuality::aqNone);
    EXPECT_EQ(board->ScrollDelay(), 300);
    EXPECT_EQ(board->RepeatDelay(), 1);
    EXPECT_EQ(board->Fonts().Count(), 0);
    EXPECT_EQ(board->Labels().Count(), 0);
    EXPECT_EQ(board->Text().FontEffect().Shadow().Alpha(), 0);
    EXPECT_EQ(board->Text().Font().Name(), Utf8ToGbk("宋体"));
    EXPECT_TRUE(board->Active());
    EXPECT_EQ(WidgetCounter(wkScrollText), 2);
    auto* second = page->CreateWidget(wkScrollText);
    EXPECT_EQ(QPoint(second->Left(), second->Top()), QPoint(90, 110));

    const std::string text = Saved(*page);
    EXPECT_NE(text.find("  object myscrolltext1: TzorledScrollText\r\n"), std::string::npos);
    EXPECT_NE(text.find("      'led'#28378#21160#25991#23383\r\n"), std::string::npos) << text;
}

TEST_F(BoardPage, DoubleClickReachesTheEditEntry) {
    auto page = NewPage();
    auto* board = dynamic_cast<TzorledScrollText*>(page->CreateWidget(wkScrollText));
    TzorledScrollText* edited = nullptr;
    static TzorledScrollText** target;
    target = &edited;
    EditScrollText = [](TzorledScrollText& b) { *target = &b; };
    page->WidgetDblClick(board);
    EditScrollText = nullptr;
    EXPECT_EQ(edited, board);
}

TEST_F(BoardPage, LinesComeBackAsTheyWere) {
    const StringList cases[] = {
        {},
        TScrollTextParam::DefaultTextA(),
        TScrollTextParam::DefaultTextB(),
        {"x", "", Utf8ToGbk("<Title1>标题")},
    };
    for (const StringList& lines : cases) {
        auto page = NewPage();
        auto& board = dynamic_cast<TzorledScrollText&>(*page->CreateWidget(wkScrollText));
        board.Text().SetLines(lines);
        auto loaded = Reloaded(*page);
        EXPECT_EQ(BoardOf(*loaded).Text().Lines(), lines) << lines.size() << " lines";
    }
}

TEST_F(BoardPage, EverySettingRoundTripsByteForByte) {
    auto page = NewPage();
    auto& board = dynamic_cast<TzorledScrollText&>(*page->CreateWidget(wkScrollText));
    board.CreateDefaultFonts();
    board.CreateDefaultLabels();
    board.Labels().AddItem("Mine", Utf8ToGbk("自定义"), lsCustom);
    board.Text().SetFade(true);
    board.Text().SetFadeHeight(7);
    board.Text().SetHeadSpace(20);
    board.Text().SetTailSpace(0);
    board.Text().SetAlignment(taRightJustify);
    board.Text().SetRowPitch(-10);
    board.Text().SetWordWrap(true);
    board.Text().SetLabelEffect(leOnlyALine);
    board.Text().FontEffect().Gradual().SetEnabled(true);
    board.Text().FontEffect().SetOutline(true);
    QImage tile(2, 2, QImage::Format_RGB888);
    tile.fill(Qt::blue);
    TPicture picture;
    picture.SetBitmap(tile);
    board.Text().SetBackGround(picture);
    board.Text().SetBackGroundMode(bmCenter);
    board.SetScrollQuality(tqHighest);
    board.SetRepeatCount(3);
    board.Setdatainterface(dataformtxtfile);
    board.SetTextFileName("data.txt");
    board.SetExeFileName("module.dll");
    board.SetDataRefreshTime(20000);

    const std::string first = Saved(*page);
    for (const char* line : {"    Fonts = <\r\n", "    Labels = <\r\n", "        Style = lsDate\r\n",
                             "    Text.FadeHeight = 7\r\n", "    Text.LabelEffect = leOnlyALine\r\n",
                             "    Text.BackGroundMode = bmCenter\r\n", "    Text.BackGround.Data = {\r\n",
                             "    ScrollQuality = tqHighest\r\n", "    datainterface = dataformtxtfile\r\n",
                             "    ExeFileName = 'module.dll'\r\n"})
        EXPECT_NE(first.find(line), std::string::npos) << line;
    auto loaded = Reloaded(*page);
    const std::string again = Saved(*loaded);
    EXPECT_EQ(again.substr(again.find('\n')), first.substr(first.find('\n'))) << "all but the root's new name";
    TzorledScrollText& back = BoardOf(*loaded);
    EXPECT_EQ(back.Fonts().Count(), 7);
    EXPECT_EQ(back.Fonts()[5].Effect().Blur(), 50) << "Title4";
    EXPECT_EQ(back.Labels()[8].Text(), Utf8ToGbk("自定义"));
    EXPECT_EQ(back.Refresher().TextFileName(), "data.txt");
}

TEST_F(BoardPage, PlayStartAndStopReachBoards) {
    const auto file = scratch / "board.txt";
    WriteTextList(file, {"one", "two", "three"});
    auto page = NewPage();
    auto& board = dynamic_cast<TzorledScrollText&>(*page->CreateWidget(wkScrollText));
    board.Setdatainterface(dataformtxtfile);
    board.SetTextFileName(file.string());
    page->StartWidgets();
    EXPECT_EQ(board.Text().Lines(), (StringList{"one", "two", "three"}));
    EXPECT_TRUE(board.Refresher().Enabled());
    EXPECT_TRUE(page->WidgetsIdle());
    page->StopWidgets();
    EXPECT_FALSE(board.Refresher().Enabled());
    EXPECT_TRUE(board.Active());
}

}  // namespace
}  // namespace zl
