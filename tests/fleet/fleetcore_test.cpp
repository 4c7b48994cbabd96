// Fleet settings, signatures, bundle checks and the atomic apply, without a broker.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "core/atomicfile.h"
#include "core/codepage.h"
#include "core/error.h"
#include "core/textlist.h"
#include "fleet/bundle.h"
#include "fleet/fleetconfig.h"
#include "fleet/fleetsign.h"
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
    const BuiltBundle built = BuildBundle(home.path() / "pagedef", "g1", 1234);
    const CheckedBundle checked = CheckBundle(built.body, "g1");
    EXPECT_EQ(checked.version, 1234);
    std::vector<std::string> names;
    for (const CheckedFile& f : checked.files) names.push_back(f.name);
    EXPECT_EQ(names, (std::vector<std::string>{"SelectList.PLN", "PlayList.PLN", "plan1.LED", "page1.DFM", "page1.Pas",
                                               "时刻表.DFM"}));
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
    FleetConfig config;
    config.sign = "s1";
    config.groups = {"g"};
    config.publisherKey = h / "pub.pem";
    MakePlayHome(h / "src", "v");
    const FleetKey key = FleetKey::LoadPrivate(h / "priv.pem");
    const std::string topic = BundleTopic("g");
    const std::string body10 = BuildBundle(h / "src", "g", 10).body;
    {
        FleetSign sign(h, config, "1.0");
        sign.TakeBundle(topic, SignFleetMessage(key, topic, body10));
        EXPECT_NE(sign.StateJson(true).find("\"bundle\":\"" + Sha256Hex(body10) + "\""), std::string::npos);
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
    FleetConfig config;
    config.sign = "s1";
    config.groups = {"g"};
    config.publisherKey = h / "pub.pem";
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
