#include <gtest/gtest.h>

#include <memory>

#include "core/atomicfile.h"
#include "core/clock.h"
#include "core/codepage.h"
#include "core/textlist.h"
#include "qtbase/application.h"
#include "support/scratchdir.h"
#include "widgets/zorledscrolltext.h"

namespace zl {
namespace {

class Board : public ::testing::Test {
protected:
    std::unique_ptr<TzorledScrollText> Make() {
        auto board = std::make_unique<TzorledScrollText>(nullptr);
        board->SetBounds(0, 0, 100, 60);
        board->SetScrollQuality(tqLow);
        board->SetScrollDelay(700);  // no tick falls on a refresh pass
        board->Text().SetLines({"a", "b", "c", "d", "e"});
        board->Paint();
        return board;
    }
    ManualTimeSource manual{MakeLocalMs(2025, 1, 2, 3, 4, 5)};
    ScopedTimeSource scope{manual};
    zl::testing::ScratchDir scratch{"zorled-board"};
};

TEST_F(Board, NewBoardTakesTheRefreshersSettings) {
    TzorledScrollText board(nullptr);
    EXPECT_EQ(board.datainterface(), datafromEditor);
    EXPECT_EQ(board.DataRefreshTime(), 180000);
    EXPECT_EQ(board.TextFileName(), "");
    EXPECT_FALSE(board.Refresher().Enabled());
    board.SetTextFileName("x.txt");
    board.SetDataRefreshTime(20000);
    EXPECT_EQ(board.Refresher().TextFileName(), "x.txt");
    EXPECT_EQ(board.Refresher().DataRefreshTime(), 20000);
}

TEST_F(Board, FileFedBoardTakesTheLinesAndStartsOverAtEveryPass) {
    const auto file = scratch / "board.txt";
    WriteTextList(file, {"one", "two", "three"});
    auto board = Make();
    board->Setdatainterface(dataformtxtfile);
    board->SetTextFileName(file.string());
    board->SetDataRefreshTime(10000);
    board->StartRefresh();
    EXPECT_EQ(board->Text().Lines(), (StringList{"one", "two", "three"})) << "the first pass runs at once";
    EXPECT_EQ(board->LaidOutRows(), 3);

    manual.Advance(9000);
    EXPECT_GT(board->Position(), 0);
    manual.Advance(1000);  // the next pass finds the same file
    EXPECT_EQ(board->Position(), 0) << "the text starts from the top again";
    EXPECT_EQ(board->RepeatedCount(), -1);

    board->StopRefresh();
    EXPECT_TRUE(board->Active()) << "stopping the refresh does not stop the scroll";
    const int before = board->Position();
    manual.Advance(3000);
    EXPECT_GT(board->Position(), before);
}

TEST_F(Board, MissingFileKeepsTheLines) {
    auto board = Make();
    board->LoadBoardText((scratch / "none.txt").string());
    EXPECT_EQ(board->Text().Lines(), (StringList{"a", "b", "c", "d", "e"}));
}

// A feed of one 15 MB line, as a broken feed writer leaves it: drawn where the board shows it.
TEST_F(Board, AFeedOfOneHugeLineDrawsAndKeepsTheBoardScrolling) {
    std::vector<std::string> reported;
    const ErrorReporter previous = SetErrorReporter([&](const QString& m) { reported.push_back(m.toStdString()); });
    const auto file = scratch / "board.txt";
    WriteTextList(file, {"top", std::string(15 << 20, 'W'), "end"});
    auto board = Make();
    board->Setdatainterface(dataformtxtfile);
    board->SetTextFileName(file.string());
    board->SetDataRefreshTime(10000);
    board->StartRefresh();
    board->Paint();
    const auto inkRows = [&] {
        int rows = 0;
        const QImage& frame = board->CurrBmp();
        for (int y = 0; y < frame.height(); ++y) {
            bool ink = false;
            for (int x = 0; x < frame.width(); ++x) ink = ink || qRed(frame.pixel(x, y)) < 128;
            rows += ink;
        }
        return rows;
    };
    EXPECT_EQ(board->Text().Lines().size(), 3u);
    EXPECT_GT(inkRows(), 10) << "every line is drawn";
    EXPECT_LT(board->Renderer().Mask().Width(), 4 * board->Width()) << "no more is drawn than the board shows";
    manual.Advance(700 * 5);
    EXPECT_TRUE(board->Active());
    EXPECT_GT(board->Position(), 0) << "the board keeps scrolling";

    WriteTextList(file, {"top", "middle", "end"});
    manual.Advance(10000);
    EXPECT_EQ(board->Text().Lines(), (StringList{"top", "middle", "end"}));
    board->Paint();
    EXPECT_GT(inkRows(), 3);
    EXPECT_TRUE(reported.empty()) << reported.front();
    SetErrorReporter(previous);
}

// Drawing can still fail: a row not wide enough to be clipped, yet too large for a mask.
TEST_F(Board, TextThatCannotBeDrawnGivesWayToTheTextShownAndIsReportedOnce) {
    std::vector<std::string> reported;
    const ErrorReporter previous = SetErrorReporter([&](const QString& m) { reported.push_back(m.toStdString()); });
    TzorledScrollText board(nullptr);
    board.SetName("news");
    board.SetBounds(0, 0, 32767, 60);
    board.Text().SetQuality(TSmoothQuality::aqNone);
    board.Text().Font().SetHeight(-4096);
    board.Text().SetLines({"ab"});
    board.Paint();
    ASSERT_TRUE(reported.empty()) << reported.front();
    const auto file = scratch / "board.txt";
    WriteTextList(file, {std::string(30, 'W')});
    for (int pass = 0; pass < 2; ++pass) {
        board.LoadBoardText(file.string());
        EXPECT_EQ(board.Text().Lines(), StringList{"ab"});
    }
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_NE(reported[0].find("too large to draw"), std::string::npos) << reported[0];
    EXPECT_NE(reported[0].find("(widget \"news\")"), std::string::npos) << reported[0];
    WriteTextList(file, {"cd"});
    board.LoadBoardText(file.string());
    EXPECT_EQ(board.Text().Lines(), StringList{"cd"});
    SetErrorReporter(previous);
}

}  // namespace
}  // namespace zl
