// Fleet settings, signatures, bundle checks and the atomic apply, without a broker.
#include <gtest/gtest.h>
#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "core/atomicfile.h"
#include "core/clock.h"
#include "core/codepage.h"
#include "core/error.h"
#include "core/textlist.h"
#include "fleet/bundle.h"
#include "fleet/fleetconfig.h"
#include "support/signconfig.h"
#include "fleet/fleetsign.h"
#include "fleet/roster.h"
#include "fleet/topics.h"
#include "fleet/signature.h"

namespace fs = std::filesystem;
using namespace zl;

namespace {

struct TempHome {
    QTemporaryDir dir;
    fs::path path() const { return dir.path().toStdString(); }
};

void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    WriteFileAtomic(file, text);
}

// A play home: one plan of two pages, one with a Chinese name.
void MakePlayHome(const fs::path& pagedef, const std::string& marker) {
    fs::create_directories(pagedef);
    WriteTextList(pagedef / "SelectList.PLN", {"plan1"});
    WriteTextList(pagedef / "PlayList.PLN", {"plan1"});
    WriteTextList(pagedef / "plan1.LED", {"page1", Utf8ToGbk("时刻表")});
    Write(pagedef / "page1.DFM", "object LedDesignWin: TLedDesignWin\n  Caption = '" + marker + "'\nend\n");
    Write(pagedef / "page1.Pas", "unit page1;\n");
    Write(pagedef / "时刻表.DFM", "object LedDesignWin: TLedDesignWin\n  TextFileName = 'feed.txt'\nend\n");
    Write(pagedef / "unrelated.DFM", "not carried");
}

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.what();
    }
    return "";
}

}  // namespace

TEST(FleetConfig, ReadsSignAndPublisherSettingsAndRefusesBadOnes) {
    TempHome home;
    const fs::path ini = home.path() / "fleet.ini";
    Write(ini, "[fleet]\nbroker=mqtts://broker.example:8884\nsign=st-01\ngroups=line1, line_2\n"
               "publisher_key=pub.pem\ncafile=/etc/ca.pem\nkeepalive=5\n");
    const FleetConfig c = ReadFleetConfig(ini, FleetRole::Sign);
    EXPECT_EQ(c.host, "broker.example");
    EXPECT_EQ(c.port, 8884);
    EXPECT_TRUE(c.tls);
    EXPECT_EQ(c.groups, (std::vector<std::string>{"line1", "line_2"}));
    EXPECT_EQ(c.publisherKey, home.path() / "pub.pem");
    EXPECT_EQ(c.keepalive, 5);

    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {"broker=http://x:1\nsign=a\ngroups=g\npublisher_key=k", "broker must be mqtt://"},
        {"broker=mqtts://x:1\nsign=a\ngroups=g\npublisher_key=k", "cafile is required"},
        {"broker=mqtt://x:99999\nsign=a\ngroups=g\npublisher_key=k", "no valid port"},
        {"broker=mqtt://x:1\nsign=a/b\ngroups=g\npublisher_key=k", "sign must be"},
        {"broker=mqtt://x:1\nsign=a\ngroups=g,,h\npublisher_key=k", "group id that is not valid"},
        {"broker=mqtt://x:1\nsign=a\ngroups=g\npublisher_key=k\nkeepalive=4", "keepalive must be"},
        {"broker=mqtt://x:1\nsign=a\ngroups=g", "publisher_key is missing"},
    };
    for (const Case& c : cases) {
        Write(ini, std::string("[fleet]\n") + c.text + "\n");
        EXPECT_NE(ErrorOf([&] { ReadFleetConfig(ini, FleetRole::Sign); }).find(c.message), std::string::npos) << c.text;
    }
    Write(ini, "[fleet]\nbroker=mqtt://x:1\nprivate_key=k.pem\nusername=pub\npassword_file=pw\n");
    FleetConfig publisher = ReadFleetConfig(ini, FleetRole::Publisher);
    Write(home.path() / "pw", "secret\n");
    chmod((home.path() / "pw").c_str(), 0644);
    EXPECT_NE(ErrorOf([&] { ReadFleetPassword(publisher); }).find("may be read by others"), std::string::npos);
    chmod((home.path() / "pw").c_str(), 0600);
    EXPECT_EQ(ReadFleetPassword(publisher), "secret");
}

TEST(FleetSignature, CoversTopicAndBody) {
    TempHome home;
    FleetKey::Generate(home.path() / "priv.pem", home.path() / "pub.pem");
    FleetKey::Generate(home.path() / "other.pem", home.path() / "otherpub.pem");
    const FleetKey priv = FleetKey::LoadPrivate(home.path() / "priv.pem");
    const FleetKey pub = FleetKey::LoadPublic(home.path() / "pub.pem");
    const std::string message = SignFleetMessage(priv, "zorled/group/a/bundle", "body");
    ASSERT_EQ(message.size(), 64u + 4);
    EXPECT_EQ(VerifyFleetMessage(pub, "zorled/group/a/bundle", message).value_or("-"), "body");
    EXPECT_FALSE(VerifyFleetMessage(pub, "zorled/group/b/bundle", message));
    EXPECT_FALSE(VerifyFleetMessage(FleetKey::LoadPublic(home.path() / "otherpub.pem"), "zorled/group/a/bundle", message));
    std::string tampered = message;
    tampered.back() ^= 1;
    EXPECT_FALSE(VerifyFleetMessage(pub, "zorled/group/a/bundle", tampered));
    EXPECT_FALSE(VerifyFleetMessage(pub, "zorled/group/a/bundle", message.substr(0, 63)));

    // Checked in place, with topics that fit before the body and one that does not.
    const std::string longTopic = "zorled/group/" + std::string(64, 'g') + "/bundle";
    const struct {
        std::string signedFor, checkedAs;
        bool good;
    } inPlace[] = {
        {"zorled/group/a/bundle", "zorled/group/a/bundle", true},
        {"zorled/group/a/bundle", "zorled/group/b/bundle", false},
        {longTopic, longTopic, true},
        {longTopic, longTopic + "x", false},
    };
    for (const auto& c : inPlace) {
        std::string buffer = SignFleetMessage(priv, c.signedFor, "body");
        const auto body = VerifyFleetMessageInPlace(pub, c.checkedAs, buffer.data(), buffer.size());
        EXPECT_EQ(body.has_value(), c.good) << c.checkedAs;
        if (body) EXPECT_EQ(*body, "body");
    }
    EXPECT_NE(ErrorOf([&] { FleetKey::LoadPrivate(home.path() / "pub.pem"); }).find("no Ed25519 private key"),
              std::string::npos);
}

TEST(FleetBundle, CarriesTheSelectionAndWarnsOfDataFiles) {
    TempHome home;
    MakePlayHome(home.path() / "pagedef", "A");
    WriteTextList(home.path() / "pagedef" / "plan1.SCH", {"1-5 07:00-11:00"});
    WriteTextList(home.path() / "pagedef" / "DarkHours.PLN", {"* 23:00-06:00"});
    const BuiltBundle built = BuildBundle(home.path() / "pagedef", "g1", 1234);
    const CheckedBundle checked = CheckBundle(built.body, "g1");
    EXPECT_EQ(checked.version, 1234);
    std::vector<std::string> names;
    for (const CheckedFile& f : checked.files) names.push_back(f.name);
    EXPECT_EQ(names, (std::vector<std::string>{"SelectList.PLN", "PlayList.PLN", "DarkHours.PLN", "plan1.LED",
                                               "plan1.SCH", "page1.DFM", "page1.Pas", "时刻表.DFM"}));
    ASSERT_EQ(built.warnings.size(), 2u);  // the missing unit, the data file
    EXPECT_NE(built.warnings[0].find("时刻表.Pas"), std::string::npos);
    EXPECT_NE(built.warnings[1].find("data file \"feed.txt\""), std::string::npos);
    EXPECT_NE(ErrorOf([&] { CheckBundle(built.body, "g2"); }).find("for group \"g1\""), std::string::npos);
}

TEST(FleetBundle, RefusesUnsafeOrInconsistentContent) {
    const std::vector<BundleFile> good{{"SelectList.PLN", "plan1\r\n"}, {"page.DFM", "x"}};
    struct Case {
        std::string body;
        const char* reason;
    };
    auto manifestFor = [](const std::vector<BundleFile>& listed) {
        std::string m = "{\"version\":5,\"group\":\"g\",\"files\":[";
        for (size_t i = 0; i < listed.size(); ++i)
            m += std::string(i ? "," : "") + "{\"name\":\"" + listed[i].name + "\",\"size\":" +
                 std::to_string(listed[i].data.size()) + ",\"sha256\":\"" + Sha256Hex(listed[i].data) + "\"}";
        return m + "]}";
    };
    auto tar = [&](std::vector<BundleFile> listed, std::vector<BundleFile> held) {
        held.insert(held.begin(), {"manifest.json", manifestFor(listed)});
        return WriteTar(held);
    };
    const std::vector<BundleFile> changed{good[0], {"page.DFM", "y"}};
    const Case cases[] = {
        {tar(good, good), nullptr},
        {tar({good[0], {"../evil.DFM", "x"}}, {good[0], {"../evil.DFM", "x"}}), "not a plain file name"},
        {tar({good[0], {"sub/a.DFM", "x"}}, {good[0], {"sub/a.DFM", "x"}}), "not a plain file name"},
        {tar({good[0], {"a\\b.DFM", "x"}}, {good[0], {"a\\b.DFM", "x"}}), "not a plain file name"},
        {tar({good[0], {"Page.dfm", "x"}, {"PAGE.DFM", "x"}}, {good[0], {"Page.dfm", "x"}, {"PAGE.DFM", "x"}}),
         "appears twice"},
        {tar(good, changed), "does not match its size and SHA-256"},
        {tar(good, {good[0]}), "the manifest lists 2 files, the archive holds 1"},
        {tar({{"page.DFM", "x"}}, {{"page.DFM", "x"}}), "no SelectList.PLN"},
        {WriteTar(good), "manifest.json is not its first entry"},
        {"garbage that is not a tar archive at all", "Bundle refused"},
        {std::string(kMaxBundleBody + 1, '\0'), "over the limit"},
    };
    for (const Case& c : cases) {
        const std::string error = ErrorOf([&] { CheckBundle(c.body, "g"); });
        if (!c.reason)
            EXPECT_EQ(error, "");
        else
            EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
    std::vector<BundleFile> many{good[0]};
    for (size_t i = 0; i < kMaxBundleEntries; ++i) many.push_back({"p" + std::to_string(i), ""});
    EXPECT_NE(ErrorOf([&] { CheckBundle(tar(many, many), "g"); }).find("more than 10000 entries"), std::string::npos);
}

TEST(FleetBundle, AppliesAtomicallyKeepingLocalPagesAndThePreviousFolder) {
    TempHome home;
    const fs::path h = home.path();
    MakePlayHome(h / "pagedef", "local");
    TempHome source;
    MakePlayHome(source.path() / "pagedef", "v1");

    const std::string body1 = BuildBundle(source.path() / "pagedef", "g", 1).body;
    const fs::path first = ApplyBundle(h, CheckBundle(body1, "g"), Sha256Hex(body1));
    EXPECT_TRUE(IsFleetManaged(h));
    EXPECT_EQ(fs::canonical(h / "pagedef"), fs::canonical(first));
    EXPECT_NE(ReadWholeFile(h / "pagedef.local" / "page1.DFM").find("local"), std::string::npos);
    EXPECT_TRUE(fs::exists(h / "pagedef.local" / "unrelated.DFM"));
    EXPECT_EQ(ReadWholeFile(h / "pagedef" / "page1.DFM"), ReadWholeFile(source.path() / "pagedef" / "page1.DFM"));
    EXPECT_FALSE(fs::exists(h / "pagedef" / "unrelated.DFM"));

    std::vector<std::string> folders;
    for (int v = 2; v <= 3; ++v) {
        MakePlayHome(source.path() / "pagedef", "v" + std::to_string(v));
        const std::string body = BuildBundle(source.path() / "pagedef", "g", v).body;
        folders.push_back(ApplyBundle(h, CheckBundle(body, "g"), Sha256Hex(body)).filename().string());
    }
    EXPECT_NE(ReadWholeFile(h / "pagedef" / "page1.DFM").find("v3"), std::string::npos);
    std::vector<std::string> kept;
    for (const auto& e : fs::directory_iterator(h / "fleet")) kept.push_back(e.path().filename().string());
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(kept, folders);  // the current and the one before; the first is gone
    EXPECT_FALSE(fs::exists(h / "pagedef.local.1"));
}

TEST(FleetSign, RefusesForgedReplayedAndBadBundlesChangingNothing) {
    TempHome home;
    const fs::path h = home.path();
    FleetKey::Generate(h / "priv.pem", h / "pub.pem");
    FleetKey::Generate(h / "other.pem", h / "otherpub.pem");
    FleetConfig config = zl::testing::SignS1OfGroupG(h / "pub.pem");
    MakePlayHome(h / "src", "v");
    const FleetKey key = FleetKey::LoadPrivate(h / "priv.pem");
    const std::string topic = BundleTopic("g");
    const std::string body10 = BuildBundle(h / "src", "g", 10).body;
    {
        FleetSign sign(h, config, "1.0");
        sign.TakeBundle(topic, SignFleetMessage(key, topic, body10));
        EXPECT_NE(sign.StateJson().find("\"bundle\":\"" + Sha256Hex(body10) + "\""), std::string::npos);
    }
    const fs::path applied = fs::canonical(h / "pagedef");
    const std::string appliedJson = ReadWholeFile(h / "fleet" / "applied.json");
    // A fresh process remembers version 10.
    FleetSign sign(h, config, "1.0");
    const std::string body5 = BuildBundle(h / "src", "g", 5).body;
    const std::string body20 = BuildBundle(h / "src", "g", 20).body;
    struct Case {
        std::string topic, message;
        const char* reason;
    } cases[] = {
        {topic, SignFleetMessage(FleetKey::LoadPrivate(h / "other.pem"), topic, body20), "signature does not match"},
        {topic, SignFleetMessage(key, BundleTopic("other"), body20), "signature does not match"},
        {topic, SignFleetMessage(key, topic, body5), "version 5 is not newer than the applied 10"},
        {topic, SignFleetMessage(key, topic, std::string(kMaxBundleBody + 1024 * 1024, 'x')), "over the limit"},
    };
    for (const Case& c : cases) {
        EXPECT_NE(ErrorOf([&] { sign.TakeBundle(c.topic, c.message); }).find(c.reason), std::string::npos) << c.reason;
        EXPECT_EQ(fs::canonical(h / "pagedef"), applied);
        EXPECT_EQ(ReadWholeFile(h / "fleet" / "applied.json"), appliedJson);
    }
    sign.TakeBundle(topic, SignFleetMessage(key, topic, body20));
    EXPECT_NE(fs::canonical(h / "pagedef"), applied);
}

TEST(FleetSign, TakesAnnouncementsOnceAndShowsTheRetainedOneAgainAfterARestart) {
    TempHome home;
    const fs::path h = home.path();
    FleetKey::Generate(h / "priv.pem", h / "pub.pem");
    FleetConfig config = zl::testing::SignS1OfGroupG(h / "pub.pem");
    const FleetKey key = FleetKey::LoadPrivate(h / "priv.pem");
    const std::string topic = TextTopic("g", "notice");
    auto message = [&](std::int64_t version, const std::string& text) {
        return SignFleetMessage(key, topic,
                                "{\"version\":" + std::to_string(version) + ",\"text\":\"" + text + "\",\"until\":0}");
    };
    {
        FleetSign sign(h, config, "1.0");
        const auto a = sign.TakeAnnouncement(topic, message(20, "晚点"));
        ASSERT_TRUE(a);
        EXPECT_EQ(a->widget, "notice");
        EXPECT_EQ(a->text, "晚点");
        EXPECT_FALSE(sign.TakeAnnouncement(topic, message(20, "晚点")));  // the same again
        EXPECT_FALSE(sign.TakeAnnouncement(topic, message(10, "older")));
        EXPECT_NE(ErrorOf([&] { sign.TakeAnnouncement(TextTopic("g", "other"), message(30, "x")); }).find("signature"),
                  std::string::npos);
    }
    FleetSign restarted(h, config, "1.0");
    EXPECT_FALSE(restarted.TakeAnnouncement(topic, message(10, "older")));
    EXPECT_TRUE(restarted.TakeAnnouncement(topic, message(20, "晚点")));
}

TEST(FleetTopics, AreReadByTheirLevelsExactly) {
    struct Case {
        const char* topic;
        TopicKind kind;
        const char* group;
        const char* sign;
        const char* widget;
    } cases[] = {
        {"zorled/group/g1/bundle", TopicKind::Bundle, "g1", "", ""},
        {"zorled/group/g1/text/bundle", TopicKind::Text, "g1", "", "bundle"},  // a widget named bundle
        {"zorled/group/g1/text/站名", TopicKind::Text, "g1", "", "站名"},
        {"zorled/group/g1/text/a/bundle", TopicKind::Other, "", "", ""},
        {"zorled/group/g1/text/", TopicKind::Other, "", "", ""},
        {"zorled/group/g1/bundle/x", TopicKind::Other, "", "", ""},
        {"zorled/group/bad id/bundle", TopicKind::Other, "", "", ""},
        {"zorled/group//bundle", TopicKind::Other, "", "", ""},
        {"x/zorled/group/g1/bundle", TopicKind::Other, "", "", ""},
        {"zorled/sign/s1/state", TopicKind::State, "", "s1", ""},
        {"zorled/sign/s1/online", TopicKind::Online, "", "s1", ""},
        {"zorled/sign/s1/cmd", TopicKind::Command, "", "s1", ""},
        {"zorled/sign/s1/shot", TopicKind::Shot, "", "s1", ""},
        {"zorled/sign/s1/state/x", TopicKind::Other, "", "", ""},
    };
    for (const Case& c : cases) {
        const FleetTopic t = ParseTopic(c.topic);
        EXPECT_EQ(t.kind, c.kind) << c.topic;
        EXPECT_EQ(t.group, c.group) << c.topic;
        EXPECT_EQ(t.sign, c.sign) << c.topic;
        EXPECT_EQ(t.widget, c.widget) << c.topic;
    }
}

// A sign with a key pair, in two groups, on a clock the test sets.
struct TwoGroupSign {
    TempHome home;
    fs::path h = home.path();
    FleetConfig config;
    std::int64_t utc = 1'800'000'000'000, steady = 0;
    bool synchronised = true;
    std::unique_ptr<FleetKey> key;

    TwoGroupSign() {
        FleetKey::Generate(h / "priv.pem", h / "pub.pem");
        key = std::make_unique<FleetKey>(FleetKey::LoadPrivate(h / "priv.pem"));
        config.sign = "s5";
        config.groups = {"north", "south"};
        config.publisherKey = h / "pub.pem";
    }
    std::unique_ptr<FleetSign> Make() {
        FleetClock clock{[this] { return utc; }, [this] { return steady; }, [this] { return synchronised; }};
        return std::make_unique<FleetSign>(h, config, "1.0", clock);
    }
    std::string Bundle(const std::string& group, std::int64_t version, const std::string& marker) {
        MakePlayHome(h / ("src-" + marker), marker);
        const std::string body = BuildBundle(h / ("src-" + marker), group, version).body;
        return SignFleetMessage(*key, BundleTopic(group), body);
    }
    std::string Command(const std::string& cmd, const std::string& id, std::int64_t time) {
        const std::string body = "{\"cmd\":\"" + cmd + "\",\"id\":\"" + id + "\",\"time\":" + std::to_string(time) + "}";
        return SignFleetMessage(*key, CommandTopic("s5"), body);
    }
    std::string Page() { return ReadWholeFile(h / "pagedef" / "page1.DFM"); }
};

TEST(FleetSign, TheNewestBundleAmongItsGroupsWinsWhateverTheOrder) {
    for (const bool northFirst : {true, false}) {
        TwoGroupSign s;
        auto sign = s.Make();
        const std::string south = s.Bundle("south", 1000, "south"), north = s.Bundle("north", 2000, "north");
        if (northFirst) {
            EXPECT_TRUE(sign->TakeBundle(BundleTopic("north"), north));
            EXPECT_FALSE(sign->TakeBundle(BundleTopic("south"), south));  // older: kept back, no error
        } else {
            EXPECT_TRUE(sign->TakeBundle(BundleTopic("south"), south));
            EXPECT_TRUE(sign->TakeBundle(BundleTopic("north"), north));
        }
        EXPECT_NE(s.Page().find("north"), std::string::npos) << northFirst;
        const QJsonObject state = QJsonDocument::fromJson(QByteArray::fromStdString(sign->StateJson())).object();
        EXPECT_EQ(state.value("bundle_group").toString(), "north");
        EXPECT_EQ(state.value("version").toInteger(), 2000);
        // After a restart the retained bundles come again in any order and change nothing.
        sign = s.Make();
        EXPECT_FALSE(sign->TakeBundle(BundleTopic("south"), south));
        EXPECT_FALSE(sign->TakeBundle(BundleTopic("north"), north));
        // A later bundle of south wins again.
        EXPECT_TRUE(sign->TakeBundle(BundleTopic("south"), s.Bundle("south", 3000, "south3")));
        EXPECT_NE(s.Page().find("south3"), std::string::npos);
    }
    // A sign that left the group of its bundle takes its remaining group's older bundle.
    TwoGroupSign s;
    s.Make()->TakeBundle(BundleTopic("north"), s.Bundle("north", 2000, "north"));
    s.config.groups = {"south"};
    EXPECT_TRUE(s.Make()->TakeBundle(BundleTopic("south"), s.Bundle("south", 1000, "south")));
    EXPECT_NE(s.Page().find("south"), std::string::npos);
}

TEST(FleetSign, TakesOnlySignedFreshCommandsAndOneScreenshotASecond) {
    TwoGroupSign s;
    auto sign = s.Make();
    const std::string topic = CommandTopic("s5");
    EXPECT_EQ(sign->TakeCommand(topic, s.Command("shot", "a1", s.utc)), "a1");
    s.steady += 1000;
    struct Case {
        const char* what;
        std::string message;
        const char* reason;
    } refused[] = {
        {"unsigned", "{\"cmd\":\"shot\",\"id\":\"u1\",\"time\":" + std::to_string(s.utc) + "}", "not signed"},
        {"signed for another sign", SignFleetMessage(*s.key, CommandTopic("s4"),
                                                     "{\"cmd\":\"shot\",\"id\":\"o1\",\"time\":" + std::to_string(s.utc) + "}"),
         "not signed"},
        {"replayed", s.Command("shot", "a1", s.utc), "taken in the last 10 minutes"},
        {"11 minutes old", s.Command("shot", "old1", s.utc - 11 * 60 * 1000), "660 s from the sign's clock"},
        {"11 minutes ahead", s.Command("shot", "new1", s.utc + 11 * 60 * 1000), "from the sign's clock"},
        {"no id", s.Command("shot", "", s.utc), "id is missing"},
        {"unknown", s.Command("reboot", "r1", s.utc), "\"reboot\" is not a command"},
    };
    for (const Case& c : refused)
        EXPECT_NE(ErrorOf([&] { sign->TakeCommand(topic, c.message); }).find(c.reason), std::string::npos) << c.what;
    // One screenshot a second, however many come.
    s.steady += 1000;
    EXPECT_EQ(sign->TakeCommand(topic, s.Command("shot", "b1", s.utc)), "b1");
    EXPECT_NE(ErrorOf([&] { sign->TakeCommand(topic, s.Command("shot", "b2", s.utc)); }).find("one screenshot a second"),
              std::string::npos);
    s.steady += 1000;
    EXPECT_EQ(sign->TakeCommand(topic, s.Command("shot", "b3", s.utc)), "b3");
    // An id is forgotten after ten minutes (and by then its time is too old anyway).
    s.steady += 10 * 60 * 1000 + 1;
    EXPECT_EQ(sign->TakeCommand(topic, s.Command("shot", "a1", s.utc)), "a1");
    // An unsynchronised clock takes a far command and notes the skew in the state.
    s.synchronised = false;
    s.steady += 1000;
    EXPECT_EQ(sign->TakeCommand(topic, s.Command("shot", "far1", s.utc + 3'600'000)), "far1");
    const QJsonObject state = QJsonDocument::fromJson(QByteArray::fromStdString(sign->StateJson())).object();
    EXPECT_EQ(state.value("clock_skew_ms").toInteger(), 3'600'000);
}

TEST(FleetRoster, TakesTheSignFromTheTopicAndPresenceApartFromState) {
    FleetRoster roster;
    EXPECT_FALSE(roster.Take("zorled/group/g/bundle", "x"));
    roster.Take("zorled/sign/s1/state", R"({"sign":"s1","groups":["g"],"page":"p1","bundle":"abc"})");
    roster.Take("zorled/sign/s1/online", "1");
    EXPECT_TRUE(roster.Sign("s1")->value("online").toBool());
    // Death: the will clears presence only; what the sign last said stays.
    roster.Take("zorled/sign/s1/online", "0");
    QJsonObject s1 = *roster.Sign("s1");
    EXPECT_FALSE(s1.value("online").toBool());
    EXPECT_EQ(s1.value("page").toString(), "p1");
    // A body naming another sign is refused on the topic's sign and shown as such.
    roster.Take("zorled/sign/s1/state", R"({"sign":"s2","groups":["g"],"page":"forged"})");
    s1 = *roster.Sign("s1");
    EXPECT_EQ(s1.value("page").toString(), "p1");
    EXPECT_EQ(s1.value("error").toString(), "State refused: it names sign \"s2\"");
    EXPECT_FALSE(roster.Sign("s2"));
    // A state without the sign's name takes it from the topic; an older sign's own "online" counts
    // until it has a presence topic.
    roster.Take("zorled/sign/old/state", R"({"online":true,"groups":["h"]})");
    EXPECT_EQ(roster.Sign("old")->value("sign").toString(), "old");
    EXPECT_TRUE(roster.Sign("old")->value("online").toBool());
    EXPECT_EQ(roster.Signs("h").size(), 1u);
    // Retiring: empty retained messages remove the sign.
    roster.Take("zorled/sign/old/state", "");
    EXPECT_FALSE(roster.Sign("old"));
}

TEST(FleetRoster, ASignCountsOnlineWhileHeardWithinOneAndAHalfKeepalives) {
    // Each step takes a message (how the broker sent it) or lets time pass, then says whether
    // the sign is online.
    struct Step {
        const char* topic;  // nullptr: time passes
        const char* payload;
        MessageInfo how;
        std::int64_t passMs;
        bool online;
    };
    const char* state = "zorled/sign/s1/state";
    const char* online = "zorled/sign/s1/online";
    const char* keepalive4 = R"({"groups":["g"],"keepalive":4})";
    const MessageInfo live{false, -1}, retained{true, -1};
    const MessageInfo liveBeat{false, PresenceExpirySeconds(4)};
    const struct {
        const char* name;
        std::vector<Step> steps;
    } cases[] = {
        {"silence beyond 1.5 keepalives, then heard again",
         {{state, keepalive4, live, 0, false},
          {online, "1", liveBeat, 0, true},
          {nullptr, "", {}, 6000, true},
          {nullptr, "", {}, 1, false},
          {online, "1", liveBeat, 0, true},
          {nullptr, "", {}, 5000, true},
          {state, keepalive4, live, 0, true},
          {nullptr, "", {}, 5000, true},
          {nullptr, "", {}, 1001, false}}},
        {"the will counts at once",
         {{state, keepalive4, live, 0, false}, {online, "1", liveBeat, 0, true}, {online, "0", live, 0, false}}},
        {"a retained 1 without an expiry is no proof of life, a live state is",
         {{state, keepalive4, retained, 0, false},
          {online, "1", retained, 0, false},
          {state, keepalive4, live, 0, true},
          {nullptr, "", {}, 6001, false}}},
        {"a retained 1 lives as long as its expiry has left",
         {{state, keepalive4, retained, 0, false},
          {online, "1", {true, 2}, 0, true},
          {nullptr, "", {}, 2000, true},
          {nullptr, "", {}, 1, false}}},
        {"a retained 1 with an expiry before the state",
         {{online, "1", {true, 2}, 0, true}, {state, keepalive4, retained, 0, true}, {nullptr, "", {}, 2001, false}}},
        {"after the will, nothing heard before it counts",
         {{state, keepalive4, live, 0, false},
          {online, "1", liveBeat, 0, true},
          {online, "0", live, 0, false},
          {online, "1", retained, 0, false}}},
        {"a sign that names no keepalive (an older program): the broker's word",
         {{state, R"({"groups":["g"]})", retained, 0, false},
          {online, "1", retained, 0, true},
          {nullptr, "", {}, 3'600'000, true},
          {online, "0", live, 0, false}}},
    };
    for (const auto& c : cases) {
        ManualTimeSource time;
        ScopedTimeSource installed(time);
        FleetRoster roster;
        bool was = false;
        for (size_t i = 0; i < c.steps.size(); ++i) {
            const Step& step = c.steps[i];
            if (step.topic) {
                roster.Take(step.topic, step.payload, step.how);
                // A reader refreshes the sign it took a message of: nothing more to tell.
                EXPECT_TRUE(roster.PresenceChanged().empty()) << c.name << ", step " << i;
            } else {
                time.Advance(step.passMs);
                const auto changed = roster.PresenceChanged();
                EXPECT_EQ(changed.size(), step.online != was ? 1u : 0u) << c.name << ", step " << i;
            }
            EXPECT_EQ(roster.Sign("s1")->value("online").toBool(), step.online) << c.name << ", step " << i;
            was = step.online;
        }
    }
}

namespace {

// Runs `body` in a child process and returns its exit status (-signal when it died of one).
int InChild(const std::function<int()>& body) {
    const pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

std::string Bytes(size_t size, char seed) {
    std::string s(size, '\0');
    std::uint32_t x = 2463534242u + static_cast<unsigned char>(seed);
    for (char& c : s) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        c = static_cast<char>('a' + x % 26);
    }
    return s;
}

}  // namespace

TEST(FleetBundle, AKillBetweenAnyTwoStepsLeavesAPagedefAndTheNextStartRecovers) {
    for (const bool firstApply : {true, false})
        for (const char* step : {"old folders removed", "unpacked", "folder in place", "link made", "exchanged", "linked"}) {
            if (!firstApply && std::string(step) == "exchanged") continue;  // only a real folder is exchanged
            TempHome home;
            const fs::path h = home.path();
            MakePlayHome(h / "pagedef", "local");
            MakePlayHome(h / "src", "v1");
            const std::string v1 = BuildBundle(h / "src", "g", 1).body;
            if (!firstApply) ApplyBundle(h, CheckBundle(v1, "g"), Sha256Hex(v1));
            MakePlayHome(h / "src", "v2");
            const std::string v2 = BuildBundle(h / "src", "g", 2).body;
            const int killed = InChild([&] {
                ApplyBundle(h, CheckBundle(v2, "g"), Sha256Hex(v2), [&](const char* at) {
                    if (std::string(at) == step) _exit(9);
                });
                return 0;
            });
            ASSERT_EQ(killed, 9) << step;
            // At every moment play finds a selection in pagedef, old or new.
            const std::string page = ReadWholeFile(h / "pagedef" / "page1.DFM");
            EXPECT_TRUE(page.find(firstApply ? "local" : "v1") != std::string::npos || page.find("v2") != std::string::npos)
                << step << ": " << page;
            // The next start puts things right and applies again.
            FleetConfig config;
            config.sign = "s1";
            config.groups = {"g"};
            FleetKey::Generate(h / "k.pem", h / "k.pub");
            config.publisherKey = h / "k.pub";
            FleetSign restarted(h, config, "1.0");
            EXPECT_FALSE(fs::exists(fs::symlink_status(h / ".pagedef.link"))) << step;
            MakePlayHome(h / "src", "v3");
            const std::string v3 = BuildBundle(h / "src", "g", 3).body;
            EXPECT_EQ(ErrorOf([&] { ApplyBundle(h, CheckBundle(v3, "g"), Sha256Hex(v3)); }), "") << step;
            EXPECT_NE(ReadWholeFile(h / "pagedef" / "page1.DFM").find("v3"), std::string::npos) << step;
            if (firstApply) {
                EXPECT_NE(ReadWholeFile(h / "pagedef.local" / "page1.DFM").find("local"), std::string::npos) << step;
                EXPECT_FALSE(fs::exists(h / "pagedef.local.1")) << step;
            }
        }
    // An empty pagedef folder is not kept as pagedef.local.
    TempHome empty;
    fs::create_directories(empty.path() / "pagedef");
    MakePlayHome(empty.path() / "src", "v1");
    const std::string body = BuildBundle(empty.path() / "src", "g", 1).body;
    ApplyBundle(empty.path(), CheckBundle(body, "g"), Sha256Hex(body));
    EXPECT_FALSE(fs::exists(empty.path() / "pagedef.local"));
}

TEST(FleetBundle, SparseEntriesAreRefusedBeforeTheyTakeMemory) {
    // 400 entries of 4 KB data each claiming 2 MB: read as files they would take 800 MB.
    std::vector<BundleFile> plain{{"SelectList.PLN", "x\r\n"}};
    std::string tar;
    {
        archive* w = archive_write_new();
        archive_write_set_format_pax(w);
        archive_write_open2(w, &tar, nullptr, [](archive*, void* out, const void* data, size_t n) -> la_ssize_t {
            static_cast<std::string*>(out)->append(static_cast<const char*>(data), n);
            return static_cast<la_ssize_t>(n);
        }, nullptr, nullptr);
        auto add = [&](const std::string& name, const std::string& data, la_int64_t size, bool sparse) {
            archive_entry* e = archive_entry_new();
            archive_entry_set_pathname(e, name.c_str());
            archive_entry_set_filetype(e, AE_IFREG);
            archive_entry_set_perm(e, 0644);
            archive_entry_set_size(e, size);
            if (sparse) archive_entry_sparse_add_entry(e, 0, static_cast<la_int64_t>(data.size()));
            archive_write_header(w, e);
            archive_write_data(w, data.data(), data.size());
            archive_entry_free(e);
        };
        add("manifest.json", R"({"version":1,"group":"g","files":[]})", 36, false);
        const std::string chunk = Bytes(4096, 's');
        for (int i = 0; i < 400; ++i) add("s" + std::to_string(i), chunk, 2 * 1024 * 1024, true);
        archive_write_close(w);
        archive_write_free(w);
    }
    ASSERT_GT(tar.size(), 2u * 1024 * 1024);
    TempHome home;
    const fs::path h = home.path();
    FleetKey::Generate(h / "priv.pem", h / "pub.pem");
    FleetConfig config = zl::testing::SignS1OfGroupG(h / "pub.pem");
    const std::string message = SignFleetMessage(FleetKey::LoadPrivate(h / "priv.pem"), BundleTopic("g"), tar);
    // Under a memory limit 300 MB above what the process holds now, as a sign of small means.
    const int status = InChild([&] {
        rlimit limit{};
        std::ifstream statm("/proc/self/statm");
        long pages = 0;
        statm >> pages;
        limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + 300u * 1024 * 1024;
        setrlimit(RLIMIT_AS, &limit);
        FleetSign sign(h, config, "1.0");
        const std::string error = ErrorOf([&] { sign.TakeBundle(BundleTopic("g"), message); });
        if (error.find("is a sparse file") != std::string::npos) return 0;
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    });
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(fs::exists(h / "pagedef"));
}

TEST(FleetBundle, AHomeWithRoomForTwoSelectionsTakesEveryBundleAndSaysWhenOneDoesNotFit) {
    TempHome home;
    const fs::path small = home.path() / "small";
    fs::create_directories(small);
    const uid_t uid = getuid();
    const gid_t gid = getgid();
    // A 3 MB file system of its own, in a user and mount namespace of a child.
    const int status = InChild([&]() -> int {
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return 77;
        auto write = [](const char* file, const std::string& text) {
            const int fd = open(file, O_WRONLY);
            const bool ok = fd >= 0 && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
            if (fd >= 0) close(fd);
            return ok;
        };
        write("/proc/self/setgroups", "deny");
        if (!write("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1\n") ||
            !write("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1\n"))
            return 77;
        if (mount("none", small.c_str(), "tmpfs", 0, "size=3m") != 0) return 77;
        auto bundle = [&](int version, size_t bytes) {
            std::vector<BundleFile> files{{"SelectList.PLN", "p\r\n"}, {"p.LED", "a\r\n"}, {"a.DFM", Bytes(bytes, char(version))}};
            return MakeBundleBody("g", version, files);
        };
        for (int v = 1; v <= 4; ++v) {
            const std::string body = bundle(v, 1000 * 1000);
            const std::string error = ErrorOf([&] { ApplyBundle(small, CheckBundle(body, "g"), Sha256Hex(body)); });
            if (!error.empty()) {
                std::fprintf(stderr, "bundle %d: %s\n", v, error.c_str());
                return 1;
            }
        }
        const std::string big = bundle(9, 2500 * 1000);
        const std::string error = ErrorOf([&] { ApplyBundle(small, CheckBundle(big, "g"), Sha256Hex(big)); });
        std::fprintf(stderr, "%s\n", error.c_str());
        if (error.find("Bundle not applied: it needs") == std::string::npos || error.find("are free") == std::string::npos)
            return 2;
        // Still the fourth selection in place.
        return ReadWholeFile(small / "pagedef" / "a.DFM") == Bytes(1000 * 1000, char(4)) ? 0 : 3;
    });
    if (status == 77) GTEST_SKIP() << "no user namespaces here to mount a small file system";
    EXPECT_EQ(status, 0);
}
