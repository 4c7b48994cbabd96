#include <gtest/gtest.h>

#include <QAction>
#include <algorithm>

#include "app/mainwindow.h"
#include "core/atomicfile.h"
#include "core/clock.h"
#include "output/ledoutputcontrol.h"
#include "output/ledpreview.h"
#include "output/packets.h"
#include "page/pagefile.h"
#include "qtbase/application.h"
#include "support/scopedzone.h"
#include "support/scratchdir.h"
#include "support/udpreceiver.h"

namespace zl {
namespace {

using Packets = std::vector<std::vector<std::uint8_t>>;

// Play with a home whose ledoutput.ini points at a receiver inside the test.
class PlayStreams : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(home_ / "pagedef");
        ::setenv("ZORLED_HOME", home_.c_str(), 1);
        RegisterPageClasses();
        // Two pages in plain colours, so the stream shows which one is on.
        for (auto [name, color] : {std::pair{"red", TColor(0x000000FF)}, {"blue", TColor(0x00FF0000)}}) {
            std::unique_ptr<TFrmZorLedForm> page(CreatePageWindow("LedDesignWin"));
            page->SetColor(color);
            page->displaytime = 4;
            SavePageFile(*page, home_ / "pagedef" / (std::string(name) + ".DFM"));
        }
        WriteFileAtomic(home_ / "pagedef" / "A.LED", "red\r\nblue\r\n");
        WriteFileAtomic(home_ / "pagedef" / "SelectList.PLN", "A\r\n");
        previousReporter_ = SetErrorReporter([this](const QString& m) { reported_.push_back(m.toStdString()); });
    }
    void TearDown() override {
        window_.reset();
        SetErrorReporter(previousReporter_);
        ::unsetenv("ZORLED_HOME");
    }
    void Outputs(const std::string& ini) { WriteFileAtomic(home_ / "ledoutput.ini", ini); }
    std::string E131Output() const {
        return "[output1]\nprotocol=e131\nhost=127.0.0.1\nport=" + std::to_string(receiver_.Port()) +
               "\nuniverse=9\nwidth=10\nheight=10\n";
    }
    void Open() {
        window_ = std::make_unique<TSYS_Frmzorled>();
        window_->RunPlanEditor = [] { return true; };
        window_->PageShown = [this](const std::string& page) { shown_.push_back(page); };
    }
    // The colour of the first pixel of every data packet, and the count of terminating ones.
    static std::pair<std::vector<std::uint32_t>, int> Read(const Packets& packets) {
        std::vector<std::uint32_t> colors;
        int ended = 0;
        for (const auto& p : packets) {
            if (p[112] & kE131StreamTerminated) {
                ++ended;
                continue;
            }
            const std::uint32_t rgb = p[126] << 16 | p[127] << 8 | p[128];
            if (colors.empty() || colors.back() != rgb) colors.push_back(rgb);
        }
        return {colors, ended};
    }

    ManualTimeSource clock_{MakeLocalMs(2024, 3, 1, 8, 0, 0)};
    ScopedTimeSource scope_{clock_};
    zl::testing::ScratchDir scratch_{"zorled-ledplay"};
    const std::filesystem::path& home_ = scratch_.path();
    zl::testing::UdpReceiver receiver_;
    std::unique_ptr<TSYS_Frmzorled> window_;
    std::vector<std::string> shown_;
    std::vector<std::string> reported_;
    ErrorReporter previousReporter_;
};

TEST_F(PlayStreams, PlayStreamsEachPageAndStoppingEndsTheStream) {
    Outputs(E131Output());
    Open();
    clock_.Advance(1000);
    EXPECT_TRUE(receiver_.Take().empty()) << "nothing is sent in design mode unless asked";
    window_->ActionPlayExecute();
    clock_.Advance(6000);
    auto [colors, ended] = Read(receiver_.Take());
    EXPECT_EQ(colors, (std::vector<std::uint32_t>{0xFF0000, 0x0000FF}));
    EXPECT_EQ(ended, 0);
    window_->ActionPlayExecute();
    std::tie(colors, ended) = Read(receiver_.Take());
    EXPECT_EQ(ended, 3);
    clock_.Advance(3000);
    EXPECT_TRUE(receiver_.Take().empty());
    EXPECT_TRUE(reported_.empty());

    // In design mode on the operator's word; ending the program ends the stream.
    window_->LedOutput->SetDesignOutput(true);
    clock_.Advance(100);
    std::tie(colors, ended) = Read(receiver_.Take());
    EXPECT_EQ(colors, std::vector<std::uint32_t>{0x0000FF});
    window_.reset();
    std::tie(colors, ended) = Read(receiver_.Take());
    EXPECT_EQ(ended, 3);
}

TEST_F(PlayStreams, BrokenOrLostOutputsNeverHoldPlayUp) {
    // One output the file cannot describe, one whose host does not resolve, one that works.
    Outputs("[output1]\nprotocol=ddp\nhost=a\nbrightness=high\n\n[output2]\nprotocol=ddp\nhost=sign.invalid\n\n" +
            std::string("[output3]") + E131Output().substr(9));
    Open();
    window_->LedOutput->Engine().SetResolver([](const std::string&) { return std::optional<in_addr>(); });
    window_->ActionPlayExecute();
    ASSERT_EQ(reported_.size(), 1u);
    EXPECT_NE(reported_[0].find("[output1] brightness"), std::string::npos) << reported_[0];
    window_->LedOutput->Engine().WaitForLookups();
    clock_.Advance(11000);
    EXPECT_EQ(shown_, (std::vector<std::string>{"red", "blue", "red"}));
    EXPECT_EQ(Read(receiver_.Take()).first, (std::vector<std::uint32_t>{0xFF0000, 0x0000FF, 0xFF0000}));
    EXPECT_EQ(reported_.size(), 1u) << "send problems go to the log and the preview, not to message boxes";
    EXPECT_TRUE(window_->LedOutput->Preview().Status().contains("sign.invalid"));
}

// Dark hours send black to the LEDs, the E1.31 stream kept alive, until the sign lights again.
TEST_F(PlayStreams, DarkSendsBlackFramesAndKeepsTheStreamAlive) {
    ScopedZone zone("Asia/Shanghai");
    WriteFileAtomic(home_ / "pagedef" / "DarkHours.PLN", "* 08:00-08:01\r\n");
    clock_.SetInstant(UtcFromLocal(MakeLocalMs(2026, 12, 21, 7, 59, 58)));
    Outputs(E131Output());
    Open();
    size_t sent = 0;
    window_->LedOutput->Engine().FrameSent = [&](int, const std::uint8_t*, size_t) { ++sent; };
    // Every frame sent, once the kernel has handed it over.
    const auto take = [&] {
        Packets packets = receiver_.Take(sent);
        sent = 0;
        return packets;
    };
    window_->ActionPlayExecute();
    clock_.Advance(1900);
    EXPECT_EQ(Read(take()).first, std::vector<std::uint32_t>{0xFF0000});
    clock_.Advance(200);
    ASSERT_TRUE(window_->Dark);
    clock_.Advance(57'900);
    const Packets dark = take();
    const auto [colors, ended] = Read(dark);
    ASSERT_FALSE(colors.empty());
    EXPECT_EQ(colors.back(), 0x000000u);
    EXPECT_EQ(ended, 0) << "the stream stays alive";
    EXPECT_GE(dark.size(), 57u) << "a frame at least every second";
    for (size_t i = dark.size() - 57; i < dark.size(); ++i)
        EXPECT_TRUE(std::all_of(dark[i].begin() + 126, dark[i].begin() + 126 + 300, [](std::uint8_t b) { return b == 0; }));
    clock_.Advance(2000);
    EXPECT_FALSE(window_->Dark) << "lit again at 08:01";
    EXPECT_EQ(Read(take()).first, (std::vector<std::uint32_t>{0x000000, 0xFF0000}));
    EXPECT_TRUE(reported_.empty()) << reported_.front();
}

}  // namespace
}  // namespace zl
