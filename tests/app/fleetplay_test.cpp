// A fleet sign's play: new selections at the next page change, announcements in named widgets,
// saves refused into a managed pagedef.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "app/fleetplay.h"
#include "app/fleetwindow.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include "app/mainwindow.h"
#include "core/atomicfile.h"
#include "core/codepage.h"
#include "core/error.h"
#include "core/resumepoint.h"
#include "core/textlist.h"
#include "fleet/bundle.h"
#include "fleet/signature.h"
#include "output/ledoutputcontrol.h"
#include "page/pagefile.h"
#include "qtbase/application.h"
#include "support/scopedzone.h"
#include "support/scratchdir.h"
#include "support/signconfig.h"
#include "widgets/zmd.h"
#include "widgets/zorledlabel.h"
#include "widgets/zorscrolltext.h"

namespace zl {
namespace {

namespace fs = std::filesystem;
const fs::path kAnnouncePage = fs::path(ZORLED_TEST_DATA) / "pages" / "fleet_announce.DFM";

class FleetPlayTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(home_ / "pagedef");
        ::setenv("ZORLED_HOME", home_.c_str(), 1);
        RegisterPageClasses();
        window_ = std::make_unique<TSYS_Frmzorled>();
        window_->RunPlanEditor = [] { return true; };
        window_->LedOutput.reset();
        window_->PageShown = [this](const std::string& page) { shown_.push_back(GbkToUtf8(page)); };
        previous_ = SetErrorReporter([this](const QString& m) { reported_.push_back(m.toStdString()); });
    }
    void TearDown() override {
        window_.reset();
        SetErrorReporter(previous_);
        ::unsetenv("ZORLED_HOME");
    }
    // A play home in `pagedef` whose one plan shows `pages` (copies of the announcement page).
    static void MakeHome(const fs::path& pagedef, const std::vector<std::string>& pages) {
        fs::create_directories(pagedef);
        for (const std::string& p : pages) WriteFileAtomic(pagedef / (p + ".DFM"), ReadWholeFile(kAnnouncePage));
        WriteTextList(pagedef / "SelectList.PLN", {"main"});
        WriteTextList(pagedef / "main.LED", StringList(pages.begin(), pages.end()));
    }
    void ApplyFrom(const fs::path& pagedef, std::int64_t version) {
        const std::string body = BuildBundle(pagedef, "g", version).body;
        ApplyBundle(home_, CheckBundle(body, "g"), Sha256Hex(body));
        window_->TakeNewSelection();
    }

    ManualTimeSource clock_{MakeLocalMs(2024, 3, 1, 8, 0, 0)};
    ScopedTimeSource scope_{clock_};
    zl::testing::ScratchDir scratch_{"zorled-fleetplay"};
    const fs::path& home_ = scratch_.path();
    std::unique_ptr<TSYS_Frmzorled> window_;
    std::vector<std::string> shown_, reported_;
    ErrorReporter previous_;
};

TEST_F(FleetPlayTest, ANewSelectionStartsAtItsFirstPageAtTheNextPageChange) {
    MakeHome(home_ / "pagedef", {"a1", "a2"});
    window_->ActionPlayExecute();
    clock_.Advance(1000);
    // Play was at the second page of a plan that the new selection names too.
    WriteResumePoint(home_, {{"main"}, 1});
    MakeHome(home_ / "src", {"b1", "b2"});
    ApplyFrom(home_ / "src", 1);
    // A restart from here begins the new selection at its first page.
    EXPECT_EQ(ReadResumePoint(home_), (ResumePoint{{"main"}, 0}));
    // The page on screen keeps its time; then the new list starts from the top.
    EXPECT_EQ(shown_, (std::vector<std::string>{"a1"}));
    clock_.Advance(5000);
    EXPECT_EQ(shown_, (std::vector<std::string>{"a1", "b1"}));
    EXPECT_EQ(GbkToUtf8(window_->CurrentPlan()), "main");
    EXPECT_TRUE(fs::exists(home_ / "pagedef.local" / "a1.DFM"));
    EXPECT_TRUE(reported_.empty()) << reported_.front();
}

TEST_F(FleetPlayTest, AnOldSelectionsIndexRecordedBeforePlayTakesTheBundleIsReset) {
    MakeHome(home_ / "pagedef", {"a1", "a2"});
    FleetKey::Generate(home_ / "k.pem", home_ / "k.pub");
    FleetConfig config = testing::SignS1OfGroupG(home_ / "k.pub");
    FleetPlay fleet(*window_, home_, config);
    window_->ActionPlayExecute();
    MakeHome(home_ / "src", {"b1", "b2"});
    const std::string body = BuildBundle(home_ / "src", "g", 1).body;
    ApplyBundle(home_, CheckBundle(body, "g"), Sha256Hex(body));
    // A page change of the old selection, between the apply and play hearing of it.
    WriteResumePoint(home_, {{"main"}, 1});
    fleet.Sign().onBundleApplied();
    QCoreApplication::processEvents();
    EXPECT_EQ(ReadResumePoint(home_), (ResumePoint{{"main"}, 0}));
}

TEST_F(FleetPlayTest, AnIdleSignStartsTheFirstSelectionAtOnce) {
    fs::remove_all(home_ / "pagedef");
    window_->Playing = true;  // as the headless sign waits for its first bundle
    MakeHome(home_ / "src", {"b1"});
    ApplyFrom(home_ / "src", 1);
    EXPECT_EQ(shown_, (std::vector<std::string>{"b1"}));
}

TEST_F(FleetPlayTest, AnnouncementsShowInNamedWidgetsUntilTheyEndAndNeverReachASave) {
    MakeHome(home_ / "pagedef", {"p"});
    window_->ActionPlayExecute();
    window_->Announcements = std::make_unique<AnnouncementBoard>();
    AnnouncementBoard& board = *window_->Announcements;
    TFrmZorLedForm* page = window_->Page;
    auto* label = dynamic_cast<Tzorledlabel*>(page->FindComponent("mylabel1"));
    auto* marquee = dynamic_cast<Tzmd*>(page->FindComponent("myzmd1"));
    auto* text = dynamic_cast<TzorScrollText*>(page->FindComponent("myscrolltext1"));
    ASSERT_TRUE(label && marquee && text);
    const std::string ownLabel = label->Caption(), ownMarquee = marquee->RunningCaption();
    const StringList ownLines = text->Text().Lines();

    board.Set({"MyLabel1", "列车晚点", 0});
    board.Set({"myzmd1", "请注意安全", 5000});
    board.Set({"myscrolltext1", "第一行\n第二行", 0});
    const auto changes = board.Apply(page, 1000);
    EXPECT_EQ(changes.size(), 3u);
    EXPECT_EQ(label->Caption(), Utf8ToGbk("列车晚点"));
    EXPECT_EQ(marquee->RunningCaption(), Utf8ToGbk("请注意安全"));
    EXPECT_EQ(text->Text().Lines(), StringList({Utf8ToGbk("第一行"), Utf8ToGbk("第二行")}));
    // While it shows, the data feed does not replace it.
    EXPECT_TRUE(text->FeedHeld);

    // A save writes the widgets' own texts.
    window_->SavePageTo(home_ / "saved.DFM");
    std::unique_ptr<TFrmZorLedForm> reread(CreatePageWindow("LedDesignWin"));
    LoadPageFile(*reread, home_ / "saved.DFM");
    EXPECT_EQ(dynamic_cast<Tzorledlabel*>(reread->FindComponent("mylabel1"))->Caption(), ownLabel);

    // The marquee's announcement ends at its time; the cleared label gets its own text back.
    board.Set({"mylabel1", "", 0});
    board.Apply(page, 5000);
    EXPECT_EQ(label->Caption(), ownLabel);
    EXPECT_EQ(marquee->RunningCaption(), ownMarquee);
    EXPECT_EQ(text->Text().Lines(), StringList({Utf8ToGbk("第一行"), Utf8ToGbk("第二行")}));
    board.Set({"myscrolltext1", "", 0});
    board.Apply(page, 6000);
    EXPECT_EQ(text->Text().Lines(), ownLines);
    EXPECT_FALSE(text->FeedHeld);

    // A character GBK cannot hold shows as "?", as in a UTF-8 data file.
    board.Set({"mylabel1", "晚点\xF0\x9F\x9A\x86十分钟", 0});
    board.Apply(page, 7000);
    EXPECT_EQ(label->Caption(), Utf8ToGbk("晚点?十分钟"));
    EXPECT_EQ(label->Caption(), TextFileToGbk("晚点\xF0\x9F\x9A\x86十分钟"));
}

// At night the sign is dark; an announcement lights it for as long as it lasts, and the state
// says what the schedule says throughout.
TEST_F(FleetPlayTest, AnAnnouncementWakesADarkSignForItsTimeAndTheStateNamesTheWindow) {
    ScopedZone zone("Asia/Shanghai");
    MakeHome(home_ / "pagedef", {"p"});
    WriteTextList(home_ / "pagedef" / "DarkHours.PLN", {"* 23:00-06:00"});
    const auto at = [](int day, int h, int m) { return UtcFromLocal(MakeLocalMs(2026, 12, day, h, m, 0)); };
    clock_.SetInstant(at(21, 22, 59));
    FleetKey::Generate(home_ / "k.pem", home_ / "k.pub");
    FleetConfig config = testing::SignS1OfGroupG(home_ / "k.pub");
    FleetPlay fleet(*window_, home_, config);
    std::vector<std::string> said;
    fleet.Log = [&](const std::string& line) { said.push_back(line); };
    const auto state = [&] { return QJsonDocument::fromJson(QByteArray::fromStdString(fleet.Sign().StateJson())).object(); };
    const auto advance = [&](std::int64_t ms) {
        clock_.Advance(ms);
        QCoreApplication::processEvents();
    };
    window_->ActionPlayExecute();
    ASSERT_EQ(shown_, std::vector<std::string>{"p"});
    EXPECT_EQ(state().value("plans_on").toArray(), QJsonArray{"main"});
    EXPECT_FALSE(state().value("dark").toBool());
    EXPECT_EQ(state().value("window_until").toInteger(), at(21, 23, 0));
    advance(60'000);
    ASSERT_TRUE(window_->Dark);
    EXPECT_TRUE(state().value("dark").toBool());
    EXPECT_EQ(state().value("plans_on").toArray(), QJsonArray{});
    EXPECT_TRUE(state().value("page").isNull());
    EXPECT_EQ(state().value("window_until").toInteger(), at(22, 6, 0));

    advance(60'000);
    const size_t darkShown = shown_.size();
    fleet.Sign().onAnnouncement({"mylabel1", "列车晚点", UtcNow() + 30'000});
    QCoreApplication::processEvents();
    EXPECT_FALSE(window_->Dark) << "woken";
    ASSERT_EQ(shown_.size(), darkShown + 1);
    auto* label = dynamic_cast<Tzorledlabel*>(window_->Page->FindComponent("mylabel1"));
    ASSERT_TRUE(label);
    EXPECT_TRUE(label->Visible());
    EXPECT_EQ(label->Caption(), Utf8ToGbk("列车晚点"));
    EXPECT_FALSE(state().value("dark").toBool());
    EXPECT_EQ(state().value("page").toString(), "p");
    advance(29'000);
    EXPECT_FALSE(window_->Dark) << "for the announcement's whole time";
    advance(1'000);
    EXPECT_TRUE(window_->Dark) << "and dark again after it";
    EXPECT_TRUE(state().value("dark").toBool());
    EXPECT_EQ(std::count(said.begin(), said.end(), "dark"), 2);
    window_->ActionPlayExecute();
}

TEST_F(FleetPlayTest, SavingIntoAManagedPagedefIsRefusedNamingTheFleet) {
    MakeHome(home_ / "src", {"b1"});
    ApplyFrom(home_ / "src", 1);
    // A second page window beside the main window's own would outlive the test.
    if (!window_->Page) window_->CreatePageWindow("LedDesignWin");
    try {
        window_->SavePageTo(home_ / "pagedef" / "new.DFM");
        ADD_FAILURE() << "saved into the fleet's pagedef";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("fleet.ini"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(fs::exists(home_ / "pagedef" / "new.DFM"));
    // The operator's own folder beside it takes the page (an empty pagedef is not kept as one).
    fs::create_directories(home_ / "pagedef.local");
    window_->SavePageTo(home_ / "pagedef.local" / "new.DFM");
    EXPECT_TRUE(fs::exists(home_ / "pagedef.local" / "new.DFM"));
}

}  // namespace
}  // namespace zl

namespace zl {
namespace {

TEST(FleetWindowModel, KeepsOneRowPerSignInIdOrderAndUpdatesItInPlace) {
    FleetModel model;
    auto state = [](const char* sign, bool online, const char* page) {
        return QJsonObject{{"sign", sign}, {"online", online}, {"groups", QJsonArray{"g1"}}, {"page", page},
                           {"bundle", "0123456789abcdef"}, {"error", QJsonValue()}};
    };
    model.TakeState(state("s2", true, "p1"));
    model.TakeState(state("s1", true, "p1"));
    model.TakeState(state("s2", false, "p2"));
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.SignAt(0), "s1");
    EXPECT_EQ(model.data(model.index(1, 1), Qt::DisplayRole).toString(), QString::fromUtf8("离线"));
    EXPECT_EQ(model.data(model.index(1, 3), Qt::DisplayRole).toString(), "0123456789ab");
    EXPECT_EQ(model.data(model.index(1, 5), Qt::DisplayRole).toString(), "p2");
    EXPECT_EQ(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QString::fromUtf8("屏"));
}

}  // namespace
}  // namespace zl
