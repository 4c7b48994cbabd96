// Headless signs and the publisher against a real Mosquitto: TLS with a CA made here, a password
// file, an ACL and persistence, as a fleet runs it.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTcpSocket>
#include <QTest>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <chrono>
#include <thread>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>

#include "app/fleetplay.h"
#include "app/fleetwindow.h"
#include "app/mainwindow.h"
#include "app/signplay.h"
#include "output/ledoutputcontrol.h"
#include "desk/deskauth.h"
#include "desk/deskfleet.h"
#include "core/atomicfile.h"
#include "core/textlist.h"
#include "fleet/bundle.h"
#include "fleet/fleetconfig.h"
#include "fleet/fleetsign.h"
#include "fleet/mqttlink.h"
#include "fleet/publisher.h"
#include "fleet/roster.h"
#include "fleet/topics.h"
#include "fleet/signature.h"
#include "page/frmzorledform.h"
#include "qtbase/application.h"
#include "qtbase/lifetime.h"
#include "e2e/x11session.h"
#include "support/notifysocket.h"

namespace fs = std::filesystem;
using namespace zl;

namespace {

const QString kTool = QString(ZORLED_BINARY_DIR) + "/src/app/zorled-tool";

// Every sign of these tests, its groups, and the broker users that go with them.
const std::map<std::string, std::string> kSigns = {
    {"s1", "g1"}, {"s2", "g1"}, {"s3", "g1"}, {"s4", "g2"}, {"s5", "g2"}, {"r1", "bad"}, {"k1", "k"},
    {"n1", "rr"}, {"n5", "north,south"}, {"c1", "cmd"}, {"d1", "dup"}, {"x1", "x"}, {"gui1", "gui"}, {"st1", "st"},
    {"rk1", "rk"}, {"rk2", "rk"}, {"t1", "timed"}, {"h1", "hb"}, {"h2", "hb"}, {"nt1", "nt"},
};

std::vector<std::string> GroupsOf(const std::string& sign) {
    std::vector<std::string> out;
    const QStringList parts = QString::fromStdString(kSigns.at(sign)).split(',');
    for (const QString& g : parts) out.push_back(g.toStdString());
    return out;
}

int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

bool Run(const QString& program, const QStringList& args, const QString& dir = {}) {
    QProcess p;
    if (!dir.isEmpty()) p.setWorkingDirectory(dir);
    p.start(program, args);
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QString Mosquitto() {
    for (const char* path : {"/usr/sbin/mosquitto", "/usr/bin/mosquitto"})
        if (fs::exists(path)) return path;
    return "mosquitto";
}

struct ToolResult {
    int code = -1;
    std::string out, err;
};

ToolResult Tool(const QStringList& args) {
    QProcess p;
    p.start(kTool, args);
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput().toStdString(),
            p.readAllStandardError().toStdString()};
}

// The broker, one for the whole suite: made at the start, stopped at the end.
struct Broker {
    QTemporaryDir dir;
    fs::path path;
    int port = 0;      // the signs' listener
    int deskPort = 0;  // the publisher's
    std::unique_ptr<QProcess> process;

    Broker() : path(dir.path().toStdString()), port(FreePort()), deskPort(FreePort()) {
        const QString d = dir.path();
        WriteFileAtomic(path / "ext.cnf", "subjectAltName=DNS:localhost,IP:127.0.0.1\n");
        const QStringList ec{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
        EXPECT_TRUE(Run("openssl", QStringList{"req", "-x509"} + ec +
                                       QStringList{"-keyout", "ca.key", "-out", "ca.crt", "-days", "2", "-subj",
                                                   "/CN=ZorLED test CA"},
                        d));
        EXPECT_TRUE(Run("openssl", QStringList{"req"} + ec +
                                       QStringList{"-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=localhost"},
                        d));
        EXPECT_TRUE(Run("openssl", {"x509", "-req", "-in", "server.csr", "-CA", "ca.crt", "-CAkey", "ca.key",
                                    "-CAcreateserial", "-out", "server.crt", "-days", "2", "-extfile", "ext.cnf"},
                        d));
        // The example configuration of the package, with this test's paths, ports and signs.
        const fs::path example = fs::path(ZORLED_TEST_DATA) / ".." / ".." / "packaging" / "fleet";
        std::string users, acl;
        for (const auto& [sign, groups] : kSigns) {
            users += sign + ":" + sign + "-secret\n";
            acl += "user " + sign + "\n";
            for (const std::string& g : GroupsOf(sign)) acl += "topic read zorled/group/" + g + "/#\n";
        }
        for (const QString& line : QString::fromStdString(ReadWholeFile(example / "acl")).split('\n'))
            if (line.startsWith("pattern ")) acl += line.toStdString() + "\n";
        WriteFileAtomic(path / "passwords", users);
        WriteFileAtomic(path / "publisher-passwords", "publisher:publisher-secret\n");
        for (const char* file : {"passwords", "publisher-passwords"}) {
            chmod((path / file).c_str(), 0600);
            EXPECT_TRUE(Run("mosquitto_passwd", {"-U", file}, d));
        }
        WriteFileAtomic(path / "acl", acl);
        fs::copy_file(example / "publisher-acl", path / "publisher-acl");
        QString conf = QString::fromStdString(ReadWholeFile(example / "mosquitto.conf"));
        conf.replace("/etc/zorled-fleet/", d + "/").replace("/var/lib/zorled-fleet/", d + "/");
        conf.replace("log_dest syslog", "log_dest file " + d + "/mosquitto.log");
        conf.replace("listener 8883", QString("listener %1 127.0.0.1").arg(port));
        conf.replace("listener 8884", QString("listener %1 127.0.0.1").arg(deskPort));
        // Run as whoever runs the test: as root, mosquitto would switch to its own user.
        WriteFileAtomic(path / "mosquitto.conf",
                        "user " + std::string(getpwuid(getuid())->pw_name) + "\n" + conf.toStdString());
        FleetKey::Generate(path / "publisher.pem", path / "publisher.pub");
        Start();
    }
    ~Broker() { Stop(); }

    void Start() {
        process = std::make_unique<QProcess>();
        process->start(Mosquitto(), {"-c", QString::fromStdString((path / "mosquitto.conf").string())});
        // Ready when both listeners take connections.
        auto up = [](int p) {
            const int fd = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(static_cast<uint16_t>(p));
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
            close(fd);
            return ok;
        };
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline) {
            if (up(port) && up(deskPort)) return;
            QThread::msleep(50);
        }
        ADD_FAILURE() << "mosquitto did not start: " << process->readAllStandardError().toStdString()
                      << ReadLog();
    }
    std::string ReadLog() const {
        std::error_code ec;
        return fs::exists(path / "mosquitto.log", ec) ? ReadWholeFile(path / "mosquitto.log") : "";
    }
    void Stop() {
        if (!process) return;
        process->terminate();
        process->waitForFinished(10000);
        process.reset();
    }

    FleetConfig Config(const std::string& user) const {
        FleetConfig c;
        c.port = user == "publisher" ? deskPort : port;
        c.broker = "mqtts://localhost:" + std::to_string(c.port);
        c.host = "localhost";
        c.tls = true;
        c.cafile = path / "ca.crt";
        c.username = user;
        c.passwordFile = path / (user + ".password");
        c.keepalive = 5;
        WriteFileAtomic(c.passwordFile, user + "-secret\n");
        chmod(c.passwordFile.c_str(), 0600);
        return c;
    }
    fs::path PublisherIni() const {
        FleetConfig c = Config("publisher");
        c.privateKey = path / "publisher.pem";
        WriteFleetConfig(path / "publisher.ini", c);
        return path / "publisher.ini";
    }
};

// The signs as their retained states and presence say, as they change.
class StateWatch {
public:
    explicit StateWatch(const Broker& broker) : link_(broker.Config("publisher"), "watch-" + std::to_string(++count_)) {
        link_.onMessage = [this](const std::string& topic, std::string_view payload) {
            std::lock_guard lock(mutex_);
            roster_.Take(topic, payload, MqttLink::Received());
            changed_.notify_all();
        };
        link_.Connect(60000);
        link_.Subscribe("zorled/sign/+/online");
        link_.Subscribe("zorled/sign/+/state");
    }
    // Waits until the sign's view satisfies `test`; false when it did not within the time.
    bool Wait(const std::string& sign, const std::function<bool(const QJsonObject&)>& test, int seconds) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(seconds), [&] {
            const auto s = roster_.Sign(sign);
            return s && test(*s);
        });
    }
    QJsonObject State(const std::string& sign) {
        std::lock_guard lock(mutex_);
        return roster_.Sign(sign).value_or(QJsonObject());
    }
    std::string Dump(const std::string& sign) { return QJsonDocument(State(sign)).toJson().toStdString(); }

private:
    static inline int count_ = 0;
    MqttLink link_;
    std::mutex mutex_;
    std::condition_variable changed_;
    FleetRoster roster_;
};

// One headless sign process with its own home.
struct Sign {
    std::string id;
    QTemporaryDir dir;
    fs::path home;
    std::unique_ptr<QProcess> process;
    std::string output;

    Sign(const Broker& broker, const std::string& sign, bool start = true) : id(sign), home(dir.path().toStdString()) {
        FleetConfig c = broker.Config(sign);
        c.passwordFile = home / "password";
        WriteFileAtomic(c.passwordFile, sign + "-secret\n");
        chmod(c.passwordFile.c_str(), 0600);
        c.sign = sign;
        c.groups = GroupsOf(sign);
        c.publisherKey = broker.path / "publisher.pub";
        WriteFleetConfig(home / "fleet.ini", c);
        if (start) Start();
    }
    ~Sign() {
        if (process) {
            process->terminate();
            process->waitForFinished(10000);
        }
    }
    void Start() {
        process = std::make_unique<QProcess>();
        process->start(kTool, {"sign", "--home", QString::fromStdString(home.string())});
        process->waitForStarted();
    }
    // Reads the sign's log until a line holds `text`.
    bool WaitOutput(const std::string& text, int seconds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (output.find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > end) return false;
            process->waitForReadyRead(100);
            output += process->readAllStandardOutput().toStdString();
        }
        return true;
    }
};

// A play home whose one plan shows one page with a label named mylabel1.
void MakeSourceHome(const fs::path& home, const std::string& text) {
    const fs::path pagedef = home / "pagedef";
    fs::create_directories(pagedef);
    ASSERT_TRUE(Run(kTool, {"new", QString::fromStdString((pagedef / "notice.DFM").string()), "1"}));
    // The marker keeps the bundles of two homes apart.
    WriteFileAtomic(pagedef / "notice.Pas", ReadWholeFile(pagedef / "notice.Pas") + "// " + text + "\n");
    WriteTextList(pagedef / "SelectList.PLN", {"main"});
    WriteTextList(pagedef / "main.LED", {"notice"});
}

void ExpectSameFiles(const fs::path& source, const fs::path& applied) {
    for (const char* name : {"SelectList.PLN", "main.LED", "notice.DFM", "notice.Pas"})
        EXPECT_EQ(ReadWholeFile(applied / name), ReadWholeFile(source / name)) << applied << " " << name;
}

// The bundle `publish` printed (its hash's first 12 digits), applied and on screen. A watch may
// still hold an older state when `publish --wait` returns, so tests wait for this rather than
// read the state at once.
std::string PublishedSha(const std::string& out) {
    const std::string lead = "published bundle ";
    const size_t at = out.find(lead);
    return at == std::string::npos ? std::string("(nothing published)") : out.substr(at + lead.size(), 12);
}
auto Showing(const std::string& shortSha) {
    return [shortSha](const QJsonObject& s) {
        return s.value("bundle").toString().startsWith(QString::fromStdString(shortSha)) &&
               s.value("page_bundle") == s.value("bundle");
    };
}
bool Online(const QJsonObject& s) { return s.value("online").toBool(); }

class FleetBroker : public ::testing::Test {
protected:
    static void SetUpTestSuite() { broker_ = new Broker; }
    static void TearDownTestSuite() {
        delete broker_;
        broker_ = nullptr;
    }
    static Broker* broker_;
};
Broker* FleetBroker::broker_ = nullptr;

ToolResult Publish(const Broker& broker, const std::string& group, const fs::path& home, int wait) {
    QStringList args{"publish", "--fleet", QString::fromStdString(broker.PublisherIni().string()), "--group",
                     QString::fromStdString(group), "--home", QString::fromStdString(home.string())};
    if (wait) args << "--wait" << QString::number(wait);
    return Tool(args);
}

}  // namespace

TEST_F(FleetBroker, GroupsGetTheirBundlesAnnouncementsAndScreenshots) {
    StateWatch watch(*broker_);
    std::vector<std::unique_ptr<Sign>> signs;
    for (const char* id : {"s1", "s2", "s3", "s4", "s5"}) signs.push_back(std::make_unique<Sign>(*broker_, id));
    for (auto& s : signs) ASSERT_TRUE(watch.Wait(s->id, Online, 60)) << s->id;

    QTemporaryDir a, b;
    MakeSourceHome(a.path().toStdString(), "line one");
    MakeSourceHome(b.path().toStdString(), "line two");
    const ToolResult one = Publish(*broker_, "g1", a.path().toStdString(), 120);
    EXPECT_EQ(one.code, 0) << one.out << one.err;
    EXPECT_NE(one.out.find("3 of 3 signs of group g1 applied it"), std::string::npos) << one.out;
    const ToolResult two = Publish(*broker_, "g2", b.path().toStdString(), 120);
    EXPECT_NE(two.out.find("2 of 2 signs of group g2 applied it"), std::string::npos) << two.out << two.err;
    for (size_t i = 0; i < signs.size(); ++i)
        ExpectSameFiles((i < 3 ? fs::path(a.path().toStdString()) : fs::path(b.path().toStdString())) / "pagedef",
                        signs[i]->home / "pagedef");
    // Play takes the new selection: the page shows and the state names it.
    ASSERT_TRUE(watch.Wait("s1", Showing(PublishedSha(one.out)), 60)) << watch.Dump("s1");
    EXPECT_EQ(watch.State("s1").value("page").toString(), "notice");
    EXPECT_EQ(watch.State("s1").value("plan").toString(), "main");

    // The fleet listing: one line per sign.
    const ToolResult listing =
        Tool({"fleet", "--fleet", QString::fromStdString(broker_->PublisherIni().string()), "--group", "g2"});
    EXPECT_EQ(listing.code, 0) << listing.err;
    EXPECT_EQ(listing.out.rfind("s4\tonline\t", 0), 0u) << listing.out;
    EXPECT_NE(listing.out.find("\ns5\tonline\t"), std::string::npos) << listing.out;

    // A screenshot of s4's page.
    const fs::path png = fs::path(a.path().toStdString()) / "s4.png";
    const ToolResult shot = Tool({"shot", "--fleet", QString::fromStdString(broker_->PublisherIni().string()), "--sign",
                                  "s4", QString::fromStdString(png.string())});
    EXPECT_EQ(shot.code, 0) << shot.err;
    EXPECT_EQ(ReadWholeFile(png).substr(1, 3), "PNG");

    // An announcement in the label, gone after its twelve seconds (long enough to arrive on a busy machine).
    const ToolResult said = Tool({"announce", "--fleet", QString::fromStdString(broker_->PublisherIni().string()),
                                  "--group", "g1", "--widget", "mylabel1", "--minutes", "0.2", "列车晚点十分钟"});
    EXPECT_EQ(said.code, 0) << said.err;
    EXPECT_TRUE(signs[0]->WaitOutput("shown mylabel1 列车晚点十分钟", 60)) << signs[0]->output;
    EXPECT_TRUE(signs[0]->WaitOutput("ended mylabel1", 60)) << signs[0]->output;
    EXPECT_EQ(signs[3]->output.find("shown mylabel1"), std::string::npos);  // another group

    // s3 is away while g1 gets a new bundle, and takes it when it returns.
    signs[2]->process->terminate();
    signs[2]->process->waitForFinished(10000);
    ASSERT_TRUE(watch.Wait("s3", [](const QJsonObject& s) { return !Online(s); }, 60));
    MakeSourceHome(a.path().toStdString(), "line one, second edition");
    const ToolResult again = Publish(*broker_, "g1", a.path().toStdString(), 20);
    EXPECT_EQ(again.code, 3);
    EXPECT_NE(again.out.find("2 of 3 signs of group g1 applied it"), std::string::npos) << again.out;
    EXPECT_NE(again.out.find("not applied: s3 (offline)"), std::string::npos) << again.out;
    signs[2]->Start();
    EXPECT_TRUE(watch.Wait("s3", Showing(PublishedSha(again.out)), 60)) << watch.Dump("s3");
    ExpectSameFiles(fs::path(a.path().toStdString()) / "pagedef", signs[2]->home / "pagedef");

    // Signs that stop on purpose say so.
    for (auto& s : signs) {
        s->process->terminate();
        s->process->waitForFinished(10000);
        EXPECT_TRUE(watch.Wait(s->id, [](const QJsonObject& s) { return !Online(s); }, 60)) << s->id;
    }
}

TEST_F(FleetBroker, RefusedBundlesChangeNothing) {
    StateWatch watch(*broker_);
    Sign sign(*broker_, "r1");
    ASSERT_TRUE(watch.Wait("r1", Online, 60));
    QTemporaryDir source;
    MakeSourceHome(source.path().toStdString(), "good");
    const ToolResult good = Publish(*broker_, "bad", source.path().toStdString(), 120);
    ASSERT_EQ(good.code, 0) << good.out << good.err;
    ASSERT_TRUE(watch.Wait("r1", Showing(PublishedSha(good.out)), 60)) << watch.Dump("r1");
    const fs::path pagedef = fs::canonical(sign.home / "pagedef");
    const std::string applied = ReadWholeFile(sign.home / "fleet" / "applied.json");
    const std::string goodSha = watch.State("r1").value("bundle").toString().toStdString();

    const FleetKey key = FleetKey::LoadPrivate(broker_->path / "publisher.pem");
    fs::create_directories(broker_->path / "other");
    FleetKey::Generate(broker_->path / "other" / "k.pem", broker_->path / "other" / "k.pub");
    const FleetKey stranger = FleetKey::LoadPrivate(broker_->path / "other" / "k.pem");
    const std::string topic = BundleTopic("bad");
    const fs::path src = fs::path(source.path().toStdString()) / "pagedef";
    const std::int64_t now = FleetNowMs();
    std::vector<BundleFile> escaping = BuildBundle(src, "bad", now).files;
    escaping.push_back({"../escape.DFM", "x"});
    std::vector<BundleFile> files = BuildBundle(src, "bad", now).files;
    std::string manifest = "{\"version\":" + std::to_string(now + 1) + ",\"group\":\"bad\",\"files\":[";
    for (size_t i = 0; i < files.size(); ++i)
        manifest += std::string(i ? "," : "") + "{\"name\":\"" + files[i].name + "\",\"size\":" +
                    std::to_string(files[i].data.size()) + ",\"sha256\":\"" + Sha256Hex(files[i].data) + "\"}";
    manifest += "]}";
    files.back().data += "changed after the manifest";
    files.insert(files.begin(), {"manifest.json", manifest});
    struct Case {
        const char* what;
        std::string message;
        const char* reason;
    } cases[] = {
        {"wrong signature", SignFleetMessage(stranger, topic, BuildBundle(src, "bad", now).body), "signature"},
        {"replayed older version", SignFleetMessage(key, topic, BuildBundle(src, "bad", 1000).body), "not newer"},
        {"../ entry", SignFleetMessage(key, topic, MakeBundleBody("bad", now, escaping)), "not a plain file name"},
        {"manifest mismatch", SignFleetMessage(key, topic, WriteTar(files)), "does not match"},
        {"65 MB body", SignFleetMessage(key, topic, std::string(65u * 1024 * 1024, 'z')), "over the limit"},
    };
    for (const Case& c : cases) {
        PublishRaw(broker_->Config("publisher"), topic, c.message, false);
        EXPECT_TRUE(watch.Wait("r1", [&](const QJsonObject& s) {
            return s.value("error").toString().toStdString().find(c.reason) != std::string::npos;
        }, 60)) << c.what << ": " << QJsonDocument(watch.State("r1")).toJson().toStdString();
        EXPECT_EQ(fs::canonical(sign.home / "pagedef"), pagedef) << c.what;
        EXPECT_EQ(ReadWholeFile(sign.home / "fleet" / "applied.json"), applied) << c.what;
        EXPECT_EQ(watch.State("r1").value("bundle").toString().toStdString(), goodSha) << c.what;
        EXPECT_FALSE(fs::exists(sign.home / "escape.DFM"));
        EXPECT_FALSE(fs::exists(sign.home / "fleet" / "escape.DFM"));
    }
}

TEST_F(FleetBroker, KilledSignGoesOfflineKeepingItsStateAndSignCredentialsCannotPublishToGroups) {
    StateWatch watch(*broker_);
    Sign sign(*broker_, "k1");
    ASSERT_TRUE(watch.Wait("k1", Online, 60));
    QTemporaryDir source;
    MakeSourceHome(source.path().toStdString(), "before the kill");
    const ToolResult published = Publish(*broker_, "k", source.path().toStdString(), 120);
    ASSERT_EQ(published.code, 0) << published.out << published.err;
    ASSERT_TRUE(watch.Wait("k1", Showing(PublishedSha(published.out)), 60)) << watch.Dump("k1");
    const QJsonObject alive = watch.State("k1");

    // The broker sends the will after one and a half keepalives (5 s) of silence: presence only.
    ::kill(static_cast<pid_t>(sign.process->processId()), SIGKILL);
    sign.process->waitForFinished(5000);
    EXPECT_TRUE(watch.Wait("k1", [](const QJsonObject& s) { return !Online(s); }, 60));
    // The page may have come round again (a later `since`) in a state still on its way at the kill.
    const QJsonObject dead = watch.State("k1");
    EXPECT_GE(dead.value("since").toInteger(), alive.value("since").toInteger()) << watch.Dump("k1");
    auto kept = [&](const QJsonObject& s) {
        for (const char* key : {"bundle", "bundle_group", "version", "plan", "page", "since", "instance"})
            EXPECT_EQ(s.value(key), dead.value(key)) << key << "\n" << QJsonDocument(s).toJson().toStdString();
    };
    for (const char* key : {"bundle", "bundle_group", "version", "plan", "page", "instance"})
        EXPECT_EQ(dead.value(key), alive.value(key)) << key << "\n" << watch.Dump("k1");
    // And so it stays over a broker restart.
    broker_->Stop();
    broker_->Start();
    const auto states = ReadStates(broker_->Config("publisher"), "k");
    ASSERT_EQ(states.size(), 1u);
    EXPECT_FALSE(Online(states[0]));
    kept(states[0]);

    // With a sign's credentials, a bundle for its own group is refused and reaches nobody.
    MqttLink listener(broker_->Config("publisher"), "listener");
    std::mutex mutex;
    std::condition_variable arrived;
    int probes = 0, others = 0;
    listener.onMessage = [&](const std::string& topic, std::string_view) {
        std::lock_guard lock(mutex);
        ++(topic == "zorled/group/k/text/probe" ? probes : others);
        arrived.notify_all();
    };
    listener.Connect(60000);
    listener.Subscribe("zorled/group/k/#");
    listener.WaitRetained(60000);
    {
        std::lock_guard lock(mutex);
        others = 0;  // the group's retained bundle
    }
    listener.WaitAcknowledged(listener.Publish("zorled/group/k/text/probe", "", false), 60000);  // a round trip
    MqttLink intruder(broker_->Config("k1"), "zorled-sign-k1");
    intruder.Connect(60000);
    std::string refusal;
    try {
        intruder.WaitAcknowledged(intruder.Publish(BundleTopic("k"), "not from the publisher", true), 60000);
    } catch (const std::exception& e) {
        refusal = e.what();
    }
    EXPECT_NE(refusal.find("Not authorized"), std::string::npos) << refusal;
    // Another probe through the broker: anything it delivered would have come before it.
    listener.WaitAcknowledged(listener.Publish("zorled/group/k/text/probe", "", false), 60000);
    std::unique_lock lock(mutex);
    EXPECT_TRUE(arrived.wait_for(lock, std::chrono::seconds(10), [&] { return probes == 2; })) << probes;
    EXPECT_EQ(others, 0);
}

TEST_F(FleetBroker, RetainedBundleSurvivesABrokerRestartAndPublishingWhileDownFails) {
    QTemporaryDir source;
    MakeSourceHome(source.path().toStdString(), "kept over a restart");
    const ToolResult published = Publish(*broker_, "rr", source.path().toStdString(), 0);
    ASSERT_EQ(published.code, 0) << published.err;

    broker_->Stop();
    const ToolResult down = Publish(*broker_, "rr", source.path().toStdString(), 0);
    EXPECT_EQ(down.code, 1);
    EXPECT_NE(down.err.find("Cannot connect to broker mqtts://localhost:"), std::string::npos) << down.err;
    EXPECT_EQ(down.out.find("published"), std::string::npos) << down.out;
    broker_->Start();

    // mqtts trusts only its cafile: a broker whose certificate chains elsewhere is refused.
    ASSERT_TRUE(::Run("openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                                "-keyout", "other-ca.key", "-out", "other-ca.crt", "-days", "2", "-subj", "/CN=Other CA"},
                    broker_->dir.path()));
    FleetConfig wrongCa = broker_->Config("publisher");
    wrongCa.cafile = broker_->path / "other-ca.crt";
    std::string refused;
    try {
        PublishRaw(wrongCa, TextTopic("rr", "x"), "anything", false);
    } catch (const std::exception& e) {
        refused = e.what();
    }
    EXPECT_NE(refused.find("Cannot connect to broker mqtts://localhost:"), std::string::npos) << refused;
    EXPECT_NE(refused.find("cafile"), std::string::npos) << refused;

    StateWatch watch(*broker_);
    Sign late(*broker_, "n1");
    const std::string sha = published.out.substr(std::string("published bundle ").size(), 12);
    EXPECT_TRUE(watch.Wait("n1", [&](const QJsonObject& s) {
        return s.value("bundle").toString().toStdString().rfind(sha, 0) == 0;
    }, 60)) << QJsonDocument(watch.State("n1")).toJson().toStdString();
    ExpectSameFiles(fs::path(source.path().toStdString()) / "pagedef", late.home / "pagedef");
}

TEST_F(FleetBroker, OneSignPerHome) {
    StateWatch watch(*broker_);
    Sign sign(*broker_, "s1");
    ASSERT_TRUE(watch.Wait("s1", Online, 60));
    const ToolResult second = Tool({"sign", "--home", QString::fromStdString(sign.home.string()), "--seconds", "1"});
    EXPECT_EQ(second.code, kExitHomeInUse);
    EXPECT_NE(second.err.find("is in use by another copy of ZorLED"), std::string::npos) << second.err;
}

TEST_F(FleetBroker, DeskWindowListsTheSignsLive) {
    FleetWindow window(nullptr, broker_->PublisherIni(), broker_->path);
    StateWatch watch(*broker_);
    Sign sign(*broker_, "s5");
    auto row = [&]() -> int {
        for (int r = 0; r < window.Model().rowCount(); ++r)
            if (window.Model().SignAt(r) == "s5") return r;
        return -1;
    };
    auto online = [&] {
        const int r = row();
        return r >= 0 && window.Model().data(window.Model().index(r, 1), Qt::DisplayRole).toString() == QString::fromUtf8("在线");
    };
    EXPECT_TRUE(QTest::qWaitFor(online, 60000));
    sign.process->terminate();
    sign.process->waitForFinished(10000);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !online(); }, 60000))
        << QJsonDocument(watch.State("s5")).toJson().toStdString();
}

namespace {

int RowOf(const FleetModel& model, const QString& sign) {
    for (int r = 0; r < model.rowCount(); ++r)
        if (model.SignAt(r) == sign) return r;
    return -1;
}
QString Presence(const FleetModel& model, int row) {
    return model.data(model.index(row, 1), Qt::DisplayRole).toString();
}

}  // namespace

TEST_F(FleetBroker, ASignThatFallsSilentShowsOfflineAfterOneAndAHalfKeepalivesAndBackWhenHeard) {
    // The readers on manual time; the sign goes silent when its own clock stands still, as a
    // frozen one does, while the broker still holds its connection.
    ManualTimeSource time;
    ScopedTimeSource installed(time);
    FleetWindow window(nullptr, broker_->PublisherIni(), broker_->path);
    QTemporaryDir deskHome, signHome;
    DeskFleet desk(ReadFleetConfig(broker_->PublisherIni(), FleetRole::Publisher), deskHome.path().toStdString());
    desk.Start();
    // Both readers listen before the sign speaks: all it says reaches them live.
    const FleetConfig publisher = broker_->Config("publisher");
    PublishRaw(publisher, StateTopic("h2"), R"({"groups":["hb"]})", true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return RowOf(window.Model(), "h2") >= 0 && !desk.State("h2").isEmpty(); }, 60000));
    PublishRaw(publisher, StateTopic("h2"), "", true);
    std::atomic<std::int64_t> signMs{0};
    FleetClock clock = FleetClock::System();
    clock.steadyMs = [&] { return signMs.load(); };
    FleetConfig c = broker_->Config("h1");
    c.sign = "h1";
    c.groups = GroupsOf("h1");
    c.publisherKey = broker_->path / "publisher.pub";
    FleetSign sign(signHome.path().toStdString(), c, "test", clock);
    sign.Start();
    auto shown = [&](bool online) {
        const int r = RowOf(window.Model(), "h1");
        return r >= 0 && Presence(window.Model(), r) == QString::fromUtf8(online ? "在线" : "离线") &&
               desk.State("h1").value("online").toBool() == online;
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown(true) && desk.State("h1").value("keepalive") == 5; }, 60000));
    const int row = RowOf(window.Model(), "h1");
    int rowChanges = 0;
    QObject::connect(&window.Model(), &QAbstractItemModel::dataChanged,
                     [&](const QModelIndex& from, const QModelIndex&) { rowChanges += from.row() == row; });
    // What the web desk pushes to the open pages.
    std::vector<bool> pushed;
    QObject::connect(&desk, &DeskFleet::statesChanged, [&](const QJsonArray& states) {
        for (const QJsonValue& v : states)
            if (v.toObject().value("sign") == "h1") pushed.push_back(v.toObject().value("online").toBool());
    });
    time.Advance(7500);
    EXPECT_TRUE(shown(true));
    // Silent for more than 1.5 keepalives: offline on the timer, no message needed.
    rowChanges = 0;
    time.Advance(250);
    EXPECT_TRUE(shown(false));
    EXPECT_EQ(rowChanges, 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !pushed.empty(); }, 60000));
    EXPECT_EQ(pushed, std::vector<bool>{false});
    // Heard again: its next "alive" (due every half keepalive of its own time) brings it back.
    signMs += 2500;
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown(true); }, 60000));
    // The one-shot readers take the retained "1" for as long as its expiry has left.
    const auto states = ReadStates(broker_->Config("publisher"), "hb");
    ASSERT_EQ(states.size(), 1u);
    EXPECT_TRUE(states[0].value("online").toBool());
    sign.Stop();
}

TEST_F(FleetBroker, AStaleRetainedOneAloneDoesNotKeepASignOnline) {
    // What a sign that died while the broker was down leaves: its state and a "1" that never
    // expires (the will was never sent). Every reader shows it offline, the desk at once.
    const FleetConfig publisher = broker_->Config("publisher");
    PublishRaw(publisher, StateTopic("h2"), R"({"groups":["hb"],"keepalive":5,"page":"p1"})", true);
    PublishRaw(publisher, OnlineTopic("h2"), "1", true);
    for (const QJsonObject& s : ReadStates(publisher, "hb"))
        if (s.value("sign") == "h2") EXPECT_FALSE(s.value("online").toBool()) << QJsonDocument(s).toJson().toStdString();
    const ToolResult listing = Tool({"fleet", "--fleet", QString::fromStdString(broker_->PublisherIni().string()),
                                     "--group", "hb"});
    EXPECT_NE(listing.out.find("h2\toffline\t"), std::string::npos) << listing.out;
    FleetWindow window(nullptr, broker_->PublisherIni(), broker_->path);
    ASSERT_TRUE(QTest::qWaitFor([&] { return RowOf(window.Model(), "h2") >= 0; }, 60000));
    EXPECT_EQ(Presence(window.Model(), RowOf(window.Model(), "h2")), QString::fromUtf8("离线"));
    PublishRaw(publisher, StateTopic("h2"), "", true);
    PublishRaw(publisher, OnlineTopic("h2"), "", true);
}

TEST_F(FleetBroker, DeskWindowStartsAndStopsTheWebDesk) {
    auto listening = [](int port) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
        return probe.waitForConnected(3000);
    };
    const int port = FreePort();
    const fs::path ini = broker_->path / "desk-window.ini";
    const std::string publisher = ReadWholeFile(broker_->PublisherIni());
    // Without a [desk] section the button says why and stays up.
    WriteFileAtomic(ini, publisher);
    {
        FleetWindow window(nullptr, ini, broker_->path);
        window.DeskButton()->setChecked(true);
        EXPECT_FALSE(window.DeskButton()->isChecked());
        EXPECT_FALSE(listening(port));
    }
    WriteFileAtomic(ini, publisher + "\n[desk]\nlisten=127.0.0.1:" + std::to_string(port) +
                             "\npassword_hash=" + HashDeskPassword("pass") + "\n");
    {
        FleetWindow window(nullptr, ini, broker_->path);
        window.DeskButton()->setChecked(true);
        EXPECT_TRUE(window.DeskButton()->isChecked());
        EXPECT_TRUE(listening(port));
        window.DeskButton()->setChecked(false);
        EXPECT_FALSE(listening(port));
        window.DeskButton()->setChecked(true);
        EXPECT_TRUE(listening(port));
    }
    // Closing the window stops it.
    EXPECT_FALSE(listening(port));
}

TEST_F(FleetBroker, TheNewestBundleAmongASignsGroupsWinsAndVersionsGetPastAClockAhead) {
    StateWatch watch(*broker_);
    Sign sign(*broker_, "n5", false);  // offline while both groups publish
    QTemporaryDir north, south;
    MakeSourceHome(south.path().toStdString(), "south");
    MakeSourceHome(north.path().toStdString(), "north");
    const ToolResult first = Publish(*broker_, "south", south.path().toStdString(), 0);
    const ToolResult second = Publish(*broker_, "north", north.path().toStdString(), 0);
    ASSERT_EQ(second.code, 0) << second.err;
    const std::string northSha = second.out.substr(std::string("published bundle ").size(), 12);
    sign.Start();
    ASSERT_TRUE(watch.Wait("n5", [&](const QJsonObject& s) {
        return s.value("bundle").toString().startsWith(QString::fromStdString(northSha)) &&
               s.value("page_bundle") == s.value("bundle");
    }, 60)) << watch.Dump("n5");
    EXPECT_EQ(watch.State("n5").value("bundle_group").toString(), "north");
    EXPECT_NE(ReadWholeFile(sign.home / "pagedef" / "notice.Pas").find("north"), std::string::npos);

    // A bundle dated ten years ahead: later publishes still win, past their own clock, and say so.
    const std::int64_t ahead = FleetNowMs() + 10LL * 365 * 24 * 3600 * 1000;
    const FleetKey key = FleetKey::LoadPrivate(broker_->path / "publisher.pem");
    MakeSourceHome(south.path().toStdString(), "south from the future");
    PublishRaw(broker_->Config("publisher"), BundleTopic("south"),
               SignFleetMessage(key, BundleTopic("south"),
                                BuildBundle(fs::path(south.path().toStdString()) / "pagedef", "south", ahead).body),
               true);
    ASSERT_TRUE(watch.Wait("n5", [&](const QJsonObject& s) { return s.value("version").toInteger() == ahead; }, 60))
        << watch.Dump("n5");
    MakeSourceHome(north.path().toStdString(), "north again");
    const ToolResult again = Publish(*broker_, "north", north.path().toStdString(), 120);
    EXPECT_EQ(again.code, 0) << again.out << again.err;
    EXPECT_NE(again.out.find("version " + std::to_string(ahead + 1)), std::string::npos) << again.out;
    EXPECT_NE(again.err.find("past this clock, after the version sign \"n5\" reports"), std::string::npos) << again.err;
    EXPECT_NE(ReadWholeFile(sign.home / "pagedef" / "notice.Pas").find("north again"), std::string::npos);
    // South's own retained version counts too, and n5's report of north's bundle.
    const ToolResult third = Publish(*broker_, "south", south.path().toStdString(), 0);
    EXPECT_NE(third.out.find("version " + std::to_string(ahead + 2)), std::string::npos) << third.out;
}

TEST_F(FleetBroker, CommandsMustBeSignedFreshAndScreenshotsAreRationed) {
    StateWatch watch(*broker_);
    Sign sign(*broker_, "c1");
    ASSERT_TRUE(watch.Wait("c1", Online, 60));
    MqttLink desk(broker_->Config("publisher"), "desk-c1");
    std::mutex mutex;
    std::condition_variable arrived;
    int shots = 0;
    desk.onMessage = [&](const std::string&, std::string_view) {
        std::lock_guard lock(mutex);
        ++shots;
        arrived.notify_all();
    };
    desk.Connect(60000);
    desk.Subscribe(ShotTopic("c1"));
    desk.WaitRetained(60000);
    auto error = [](const char* text) {
        return [text](const QJsonObject& s) { return s.value("error").toString().contains(text); };
    };
    // Unsigned: refused, no screenshot.
    desk.WaitAcknowledged(desk.Publish(CommandTopic("c1"), R"({"cmd":"shot","id":"plain"})", false), 60000);
    EXPECT_TRUE(watch.Wait("c1", error("it is not signed"), 60)) << watch.Dump("c1");
    // Signed: a screenshot, and the error of its kind goes.
    const FleetKey key = FleetKey::LoadPrivate(broker_->path / "publisher.pem");
    PublishCommand(desk, key, "c1", "shot", 60000);
    {
        std::unique_lock lock(mutex);
        EXPECT_TRUE(arrived.wait_for(lock, std::chrono::seconds(60), [&] { return shots == 1; }));
    }
    EXPECT_TRUE(watch.Wait("c1", [](const QJsonObject& s) { return s.value("error").isNull(); }, 60))
        << watch.Dump("c1");
    // The same signed command again is a replay.
    const std::string body = R"({"cmd":"shot","id":"once","time":)" + std::to_string(FleetNowMs()) + "}";
    const std::string signedOnce = SignFleetMessage(key, CommandTopic("c1"), body);
    desk.WaitAcknowledged(desk.Publish(CommandTopic("c1"), signedOnce, false), 60000);
    desk.WaitAcknowledged(desk.Publish(CommandTopic("c1"), signedOnce, false), 60000);
    EXPECT_TRUE(watch.Wait("c1", error("taken in the last 10 minutes"), 60)) << watch.Dump("c1");
    // A forged announcement's error goes with the next good announcement.
    const std::string text = TextTopic("cmd", "w");
    PublishRaw(broker_->Config("publisher"), text, std::string(64, 'x') + R"({"version":1,"text":"x"})", false);
    EXPECT_TRUE(watch.Wait("c1", error("Announcement refused"), 60)) << watch.Dump("c1");
    const ToolResult said = Tool({"announce", "--fleet", QString::fromStdString(broker_->PublisherIni().string()),
                                  "--group", "cmd", "--widget", "w", "ok"});
    EXPECT_EQ(said.code, 0) << said.err;
    // The command's error, older, stands again.
    EXPECT_TRUE(watch.Wait("c1", error("taken in the last 10 minutes"), 60)) << watch.Dump("c1");
    // A flood gets refusals, not one screenshot each.
    for (int i = 0; i < 20; ++i) PublishCommand(desk, key, "c1", "shot", 60000);
    EXPECT_TRUE(watch.Wait("c1", error("at most one screenshot a second"), 60)) << watch.Dump("c1");
    std::lock_guard lock(mutex);
    EXPECT_LT(shots, 12);
}

TEST_F(FleetBroker, AnAnnouncementToAWidgetNamedBundleIsAnAnnouncement) {
    StateWatch watch(*broker_);
    Sign sign(*broker_, "s2");
    ASSERT_TRUE(watch.Wait("s2", Online, 60));
    QTemporaryDir source;
    const fs::path home = source.path().toStdString();
    MakeSourceHome(home, "a label named bundle");
    QString page = QString::fromStdString(ReadWholeFile(home / "pagedef" / "notice.DFM"));
    WriteFileAtomic(home / "pagedef" / "notice.DFM", page.replace("mylabel1", "bundle").toStdString());
    // g1 holds the bundle of an earlier case, whose page has the same name: wait for this one.
    const ToolResult published = Publish(*broker_, "g1", home, 0);
    ASSERT_EQ(published.code, 0) << published.err;
    ASSERT_TRUE(watch.Wait("s2", Showing(PublishedSha(published.out)), 60)) << watch.Dump("s2");
    const ToolResult said = Tool({"announce", "--fleet", QString::fromStdString(broker_->PublisherIni().string()),
                                  "--group", "g1", "--widget", "bundle", "停运"});
    EXPECT_EQ(said.code, 0) << said.err;
    EXPECT_TRUE(sign.WaitOutput("shown bundle 停运", 60)) << sign.output;
    // Again after a restart, from the retained message, with no bundle refusal.
    sign.process->terminate();
    sign.process->waitForFinished(10000);
    sign.output.clear();
    sign.Start();
    EXPECT_TRUE(sign.WaitOutput("shown bundle 停运", 60)) << sign.output;
    EXPECT_EQ(sign.output.find("refused"), std::string::npos) << sign.output;
    EXPECT_TRUE(watch.State("s2").value("error").isNull()) << watch.Dump("s2");
    Tool({"announce", "--fleet", QString::fromStdString(broker_->PublisherIni().string()), "--group", "g1", "--widget",
          "bundle", ""});
}

TEST_F(FleetBroker, AStateThatNamesAnotherSignIsRefusedOnItsTopicsSign) {
    StateWatch watch(*broker_);
    MqttLink s3(broker_->Config("s3"), "s3");
    s3.Connect(60000);
    // The sign's own credentials, its own state topic, another sign's name.
    s3.WaitAcknowledged(
        s3.Publish(StateTopic("s3"), R"({"sign":"s1","groups":["g1"],"page":"forged","error":null})", true), 60000);
    // Writing another sign's state topic is not allowed at all.
    std::string refusal;
    try {
        s3.WaitAcknowledged(s3.Publish(StateTopic("s1"), R"({"sign":"s1","page":"forged"})", true), 60000);
    } catch (const std::exception& e) {
        refusal = e.what();
    }
    EXPECT_NE(refusal.find("Not authorized"), std::string::npos) << refusal;
    const ToolResult listing = Tool({"fleet", "--fleet", QString::fromStdString(broker_->PublisherIni().string())});
    EXPECT_NE(listing.out.find("State refused: it names sign \"s1\""), std::string::npos) << listing.out;
    for (const QJsonObject& s : ReadStates(broker_->Config("publisher"), {})) {
        EXPECT_NE(s.value("page").toString(), "forged") << QJsonDocument(s).toJson().toStdString();
        if (s.value("sign").toString() == "s3") EXPECT_TRUE(s.value("refused").toBool());
    }
    // Retiring a sign: empty retained state and presence, which the publisher may write.
    PublishRaw(broker_->Config("publisher"), StateTopic("s3"), "", true);
    PublishRaw(broker_->Config("publisher"), OnlineTopic("s3"), "", true);
    for (const QJsonObject& s : ReadStates(broker_->Config("publisher"), {})) EXPECT_NE(s.value("sign").toString(), "s3");
}

TEST_F(FleetBroker, ConnectionFailuresAreReportedOnceAndASignThatNeverConnectedFails) {
    ASSERT_TRUE(::Run("openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                                "-keyout", "x-ca.key", "-out", "x-ca.crt", "-days", "2", "-subj", "/CN=Stranger CA"},
                    broker_->dir.path()));
    struct Case {
        const char* what;
        std::function<void(FleetConfig&)> change;
        const char* reason;
    } cases[] = {
        {"wrong CA", [&](FleetConfig& c) { c.cafile = broker_->path / "x-ca.crt"; }, "TLS"},
        {"mqtt:// to the TLS port",
         [](FleetConfig& c) {
             c.tls = false;
             c.broker = "mqtt://localhost:" + std::to_string(c.port);
         },
         "use mqtts://"},
        {"nobody listening",
         [](FleetConfig& c) {
             c.tls = false;
             c.port = FreePort();
             c.broker = "mqtt://127.0.0.1:" + std::to_string(c.port);
         },
         "Connection refused"},
    };
    for (const Case& c : cases) {
        Sign sign(*broker_, "x1", false);
        FleetConfig config = ReadFleetConfig(sign.home / "fleet.ini", FleetRole::Sign);
        c.change(config);
        WriteFleetConfig(sign.home / "fleet.ini", config);
        const ToolResult run = Tool({"sign", "--home", QString::fromStdString(sign.home.string()), "--seconds", "4"});
        EXPECT_EQ(run.code, 4) << c.what << "\n" << run.err;
        const std::string line = "Cannot connect to broker " + config.broker;
        EXPECT_NE(run.err.find(line), std::string::npos) << c.what << "\n" << run.err;
        EXPECT_NE(run.err.find(c.reason), std::string::npos) << c.what << "\n" << run.err;
        EXPECT_EQ(run.err.find(line), run.err.rfind(line)) << c.what << ": reported more than once\n" << run.err;
        EXPECT_NE(run.err.find("never connected"), std::string::npos) << c.what;
        std::string log;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(sign.home / "log", ec)) log += ReadWholeFile(e.path());
        EXPECT_NE(log.find("fleet\t" + line), std::string::npos) << c.what << "\n" << log;
    }
}

TEST_F(FleetBroker, TwinSignsReportEachOtherAndAnImpostorCannotTakeASignsClientId) {
    StateWatch watch(*broker_);
    Sign one(*broker_, "d1");
    ASSERT_TRUE(watch.Wait("d1", Online, 60));
    Sign two(*broker_, "d1");
    // The desk flags it from the state of whichever copy is connected.
    EXPECT_TRUE(watch.Wait("d1", [](const QJsonObject& s) {
        return s.value("error").toString().contains("Two signs run with id");
    }, 60)) << watch.Dump("d1") << one.output;
    EXPECT_TRUE(one.WaitOutput("error", 60)) << one.output;
    EXPECT_NE(one.output.find("d1"), std::string::npos) << one.output;

    // s4's credentials asking for s5's client id: the broker gives it s4's, and s5 stays on.
    Sign s5(*broker_, "s5");
    ASSERT_TRUE(watch.Wait("s5", Online, 60));
    MqttLink impostor(broker_->Config("s4"), "s5");
    impostor.Connect(60000);
    MqttLink impostor2(broker_->Config("s4"), "zorled-sign-s5");
    impostor2.Connect(60000);
    const fs::path png = s5.home / "shot.png";
    const ToolResult shot = Tool({"shot", "--fleet", QString::fromStdString(broker_->PublisherIni().string()), "--sign",
                                  "s5", QString::fromStdString(png.string())});
    EXPECT_EQ(shot.code, 0) << shot.err;
    EXPECT_TRUE(Online(watch.State("s5"))) << watch.Dump("s5");
    EXPECT_EQ(s5.output.find("error"), std::string::npos) << s5.output;
}

TEST_F(FleetBroker, AGuiSignAskedToPlayStartsWithItsFirstBundleAndKeepsRefusalsOffTheScreen) {
    StateWatch watch(*broker_);
    Sign gui(*broker_, "gui1", false);
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ZORLED_HOME", QString::fromStdString(gui.home.string()));
    program.setProcessEnvironment(env);
    program.start(QString(ZORLED_BINARY_DIR) + "/src/app/zorled", {"--play"});
    ASSERT_TRUE(watch.Wait("gui1", Online, 60)) << program.readAllStandardError().toStdString();
    QTemporaryDir source;
    MakeSourceHome(source.path().toStdString(), "first bundle");
    const ToolResult published = Publish(*broker_, "gui", source.path().toStdString(), 60);
    EXPECT_EQ(published.code, 0) << published.out << published.err;
    EXPECT_NE(published.out.find("1 of 1 signs of group gui applied it"), std::string::npos) << published.out;
    EXPECT_TRUE(watch.Wait("gui1", Showing(PublishedSha(published.out)), 60)) << watch.Dump("gui1");
    EXPECT_EQ(watch.State("gui1").value("page").toString(), "notice") << watch.Dump("gui1");
    // A refused bundle: in the state, the play log and on standard error.
    PublishRaw(broker_->Config("publisher"), BundleTopic("gui"), std::string(80, 'z'), false);
    EXPECT_TRUE(watch.Wait("gui1", [](const QJsonObject& s) {
        return s.value("error").toString().contains("Bundle refused");
    }, 60)) << watch.Dump("gui1");
    EXPECT_TRUE(QTest::qWaitFor([&] {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(gui.home / "log", ec))
            if (ReadWholeFile(e.path()).find("fleet\tBundle refused") != std::string::npos) return true;
        return false;
    }, 60000));
    program.terminate();
    program.waitForFinished(30000);
    EXPECT_NE(program.readAllStandardError().toStdString().find("Bundle refused"), std::string::npos);
}

// The state a sign retains says which plans its schedule has on and until when, and when it is dark.
TEST_F(FleetBroker, TheStateNamesThePlansOnAndWhenTheirWindowEnds) {
    StateWatch watch(*broker_);
    Sign sign(*broker_, "t1");
    ASSERT_TRUE(watch.Wait("t1", Online, 60));
    QTemporaryDir source;
    const fs::path pagedef = fs::path(source.path().toStdString()) / "pagedef";
    MakeSourceHome(source.path().toStdString(), "timed");
    // A window from an hour ago to an hour from now (across midnight when it must be) over a
    // plan that is always on.
    const QDateTime minute = QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch() / 60 * 60);
    const auto window = [&](int hoursBefore, int hoursAfter) {
        return "* " + minute.addSecs(-3600 * hoursBefore).toString("HH:mm").toStdString() + "-" +
               minute.addSecs(3600 * hoursAfter).toString("HH:mm").toStdString();
    };
    WriteTextList(pagedef / "SelectList.PLN", {"main", "always"});
    WriteTextList(pagedef / "always.LED", {"notice"});
    WriteTextList(pagedef / "main.SCH", {window(1, 1) + " priority 5"});
    const ToolResult first = Publish(*broker_, "timed", source.path().toStdString(), 60);
    ASSERT_EQ(first.code, 0) << first.out << first.err << sign.output << watch.Dump("t1");
    const auto until = [](qint64 ms) {
        return [ms](const QJsonObject& s) { return s.value("window_until").toInteger() == ms; };
    };
    ASSERT_TRUE(watch.Wait("t1", until(minute.addSecs(3600).toMSecsSinceEpoch()), 60)) << watch.Dump("t1");
    EXPECT_EQ(watch.State("t1").value("plans_on").toArray(), QJsonArray{"main"});
    EXPECT_FALSE(watch.State("t1").value("dark").toBool());
    EXPECT_EQ(watch.State("t1").value("page").toString(), "notice");

    WriteTextList(pagedef / "DarkHours.PLN", {window(1, 2)});
    const ToolResult second = Publish(*broker_, "timed", source.path().toStdString(), 60);
    ASSERT_EQ(second.code, 0) << second.out << second.err << sign.output << sign.process->readAllStandardError().toStdString() << watch.Dump("t1");
    ASSERT_TRUE(watch.Wait("t1", until(minute.addSecs(7200).toMSecsSinceEpoch()), 60)) << watch.Dump("t1");
    EXPECT_TRUE(watch.State("t1").value("dark").toBool());
    EXPECT_EQ(watch.State("t1").value("plans_on").toArray(), QJsonArray{});
    EXPECT_TRUE(watch.State("t1").value("page").isNull());
    const ToolResult listing =
        Tool({"fleet", "--fleet", QString::fromStdString(broker_->PublisherIni().string()), "--group", "timed"});
    EXPECT_NE(listing.out.find("\t-\tdark\t"), std::string::npos) << listing.out;
}

TEST_F(FleetBroker, ClosingTheDeskWhileAJobWaitsLeavesTheProgramRunning) {
    // A sign that left a state and went: a screenshot request to it waits its full time.
    PublishRaw(broker_->Config("publisher"), StateTopic("ghost"), R"({"sign":"ghost","groups":["g"]})", true);
    auto* window = new FleetWindow(nullptr, broker_->PublisherIni(), broker_->path);
    window->show();
    // Signs of earlier cases may show first: wait for the ghost itself.
    int ghostRow = -1;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        for (int r = 0; r < window->Model().rowCount(); ++r)
            if (window->Model().SignAt(r) == "ghost") ghostRow = r;
        return ghostRow >= 0;
    }, 60000));
    window->Table()->selectRow(ghostRow);
    for (QPushButton* b : window->findChildren<QPushButton*>())
        if (b->text() == QString::fromUtf8("截图")) b->click();
    EXPECT_EQ(FleetWindow::JobsOut(), 1);
    delete window;
    // The job's answer comes to a window that is gone.
    EXPECT_TRUE(QTest::qWaitFor([] { return FleetWindow::JobsOut() == 0; }, 60000));
    PublishRaw(broker_->Config("publisher"), StateTopic("ghost"), "", true);
}

TEST_F(FleetBroker, RefusalsOnAGuiSignGoToItsStatusLinesAndNeverToABox) {
    // The program's own wiring, in this process: its window, its play reports, its service status
    // on a socket standing for systemd's.
    StateWatch watch(*broker_);
    Sign home(*broker_, "st1", false);
    zl::testing::NotifySocket notify(home.home / "notify");
    ASSERT_TRUE(notify.Ready());
    ::setenv("NOTIFY_SOCKET", notify.Path().c_str(), 1);
    ::setenv("ZORLED_HOME", home.home.c_str(), 1);
    std::vector<std::string> reported;
    const ErrorReporter previous = SetErrorReporter([&](const QString& m) { reported.push_back(m.toStdString()); });
    RegisterPageClasses();
    {
        ServiceNotifier service;
        TSYS_Frmzorled window;
        window.LedOutput.reset();
        SignPlay sign(window, home.home, &service);
        FleetPlay fleet(window, home.home, ReadFleetConfig(home.home / "fleet.ini", FleetRole::Sign));
        fleet.Problem = [&](const std::string& message) { sign.FleetProblem(message); };
        fleet.StartPlay = [&] {
            window.RunPlanEditor = [] { return true; };
            window.ActionPlayExecute();
        };
        fleet.Start();
        ASSERT_TRUE(QTest::qWaitFor([&] { return Online(watch.State("st1")); }, 60000)) << watch.Dump("st1");

        std::vector<std::string> statuses;
        auto refused = [&](const std::string& payload) {
            PublishRaw(broker_->Config("publisher"), BundleTopic("st"), payload, false);
            EXPECT_TRUE(QTest::qWaitFor([&] {
                for (const std::string& m : notify.Take()) statuses.push_back(m);
                return window.statusBar()->currentMessage().contains("Bundle refused") &&
                       std::any_of(statuses.begin(), statuses.end(), [](const std::string& m) {
                           return m.rfind("STATUS=Bundle refused", 0) == 0;
                       });
            }, 60000)) << window.statusBar()->currentMessage().toStdString();
            std::string log;
            std::error_code ec;
            for (const auto& e : fs::directory_iterator(home.home / "log", ec)) log += ReadWholeFile(e.path());
            EXPECT_NE(log.find("fleet\tBundle refused"), std::string::npos) << log;
            EXPECT_TRUE(reported.empty()) << reported.front();
            EXPECT_TRUE(OpenReports().isEmpty());
            for (QWidget* w : QApplication::topLevelWidgets())
                EXPECT_FALSE(w->isVisible() && qobject_cast<QMessageBox*>(w)) << w->windowTitle().toStdString();
            statuses.clear();
        };
        // In design mode, where every report would open a box of its own.
        refused(std::string(80, 'z'));
        EXPECT_FALSE(window.Playing);
        // Playing, where a report would open the self-closing box over the page.
        QTemporaryDir source;
        MakeSourceHome(source.path().toStdString(), "status lines");
        const ToolResult published = Publish(*broker_, "st", source.path().toStdString(), 0);
        ASSERT_EQ(published.code, 0) << published.err;
        ASSERT_TRUE(QTest::qWaitFor([&] { return window.Playing && window.Page; }, 60000));
        refused(std::string(90, 'y'));
        window.StopPlay();
        sign.Follow();
    }
    SetErrorReporter(previous);
    ::unsetenv("NOTIFY_SOCKET");
    ::unsetenv("ZORLED_HOME");
}

// A headless sign under a unit of Type=notify: ready once it runs, watchdog pings while its event
// loop turns, and a goodbye on SIGTERM.
TEST_F(FleetBroker, AHeadlessSignTellsItsServiceManagerItIsReadyAliveAndStopping) {
    StateWatch watch(*broker_);
    Sign sign(*broker_, "nt1", false);
    zl::testing::NotifySocket notify(sign.home / "notify");
    ASSERT_TRUE(notify.Ready());
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("NOTIFY_SOCKET", QString::fromStdString(notify.Path()));
    env.insert("WATCHDOG_USEC", "2000000");
    process.setProcessEnvironment(env);
    process.start(kTool, {"sign", "--home", QString::fromStdString(sign.home.string())});
    ASSERT_TRUE(process.waitForStarted());
    std::vector<std::string> said;
    auto heard = [&](const std::string& message) {
        for (std::string& m : notify.Take()) said.push_back(std::move(m));
        return std::find(said.begin(), said.end(), message) != said.end();
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return heard("READY=1") && heard("WATCHDOG=1"); }, 60000))
        << ::testing::PrintToString(said);
    EXPECT_TRUE(watch.Wait("nt1", Online, 60));
    process.terminate();
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    EXPECT_TRUE(heard("STOPPING=1")) << ::testing::PrintToString(said);
    PublishRaw(broker_->Config("publisher"), StateTopic("nt1"), "", true);
    PublishRaw(broker_->Config("publisher"), OnlineTopic("nt1"), "", true);
}

TEST_F(FleetBroker, ASignKilledInItsFirstApplyFinishesAtItsNextStart) {
    QTemporaryDir source;
    const fs::path sourceHome = source.path().toStdString();
    MakeSourceHome(sourceHome, "after the kill");
    const ToolResult published = Publish(*broker_, "rk", sourceHome, 0);
    ASSERT_EQ(published.code, 0) << published.err;
    // What a kill leaves between the steps of a first apply over the sign's own pages.
    const std::string earlier = "5-aaaaaaaaaaaa";
    struct Case {
        const char* sign;
        const char* what;
        std::function<void(const fs::path& home)> leave;
    } cases[] = {
        {"rk1", "killed with the new link made beside the real folder",
         [&](const fs::path& home) {
             MakeSourceHome(home, "own pages");
             fs::create_directories(home / "fleet" / (earlier + ".new"));
             WriteFileAtomic(home / "fleet" / (earlier + ".new") / "half.DFM", "object");
             fs::create_directory_symlink(fs::path("fleet") / earlier, home / ".pagedef.link");
         }},
        {"rk2", "killed after the exchange: the own pages under the temporary name",
         [&](const fs::path& home) {
             MakeSourceHome(home / "fleet" / "made", "an earlier bundle");
             fs::rename(home / "fleet" / "made" / "pagedef", home / "fleet" / earlier);
             fs::remove(home / "fleet" / "made");
             MakeSourceHome(home, "own pages");
             fs::rename(home / "pagedef", home / ".pagedef.link");
             fs::create_directory_symlink(fs::path("fleet") / earlier, home / "pagedef");
         }},
    };
    StateWatch watch(*broker_);
    for (const Case& c : cases) {
        Sign sign(*broker_, c.sign, false);
        c.leave(sign.home);
        sign.Start();
        EXPECT_TRUE(watch.Wait(c.sign, Showing(PublishedSha(published.out)), 60)) << c.what << "\n" << watch.Dump(c.sign);
        EXPECT_TRUE(fs::is_symlink(sign.home / "pagedef")) << c.what;
        ExpectSameFiles(sourceHome / "pagedef", sign.home / "pagedef");
        EXPECT_NE(ReadWholeFile(sign.home / "pagedef.local" / "notice.Pas").find("own pages"), std::string::npos)
            << c.what;
        EXPECT_FALSE(fs::exists(fs::symlink_status(sign.home / ".pagedef.link"))) << c.what;
        EXPECT_FALSE(fs::exists(sign.home / "fleet" / (earlier + ".new"))) << c.what;
        EXPECT_TRUE(watch.State(c.sign).value("error").isNull()) << c.what << "\n" << watch.Dump(c.sign);
    }
}

TEST_F(FleetBroker, ClosingTheDeskOnAnXServerWhileAScreenshotWaitsLeavesTheProgramRunning) {
    // The real program on a real X server with a window manager, driven by pointer and keyboard.
    zl::testing::X11Session x;
    const QString problem = x.Start(1280, 1024);
    if (!problem.isEmpty()) GTEST_SKIP() << "no X server: " << problem.toStdString();
    const QString manager = x.StartWindowManager();
    if (!manager.isEmpty()) GTEST_SKIP() << "no window manager: " << manager.toStdString();
    // A broker of its own, so a sign that left a state and went is the table's only row: a
    // screenshot request to it waits its full time.
    Broker own;
    PublishRaw(own.Config("publisher"), StateTopic("ghost"), R"({"sign":"ghost","groups":["g"]})", true);
    QTemporaryDir desk;
    const fs::path home = desk.path().toStdString();
    fs::copy_file(own.PublisherIni(), home / "fleet.ini");
    QProcess program;
    QProcessEnvironment env = x.Environment();
    env.insert("ZORLED_HOME", desk.path());
    program.setProcessEnvironment(env);
    program.start(QString(ZORLED_BINARY_DIR) + "/src/app/zorled", QStringList());
    ASSERT_TRUE(program.waitForStarted(30000));
    auto openDesk = [&] {
        const auto main = x.ScreenArea(x.WaitWindow(QString::fromUtf8("^ZorLED显示系统")));
        const QStringList before = x.VisibleWindows();
        x.Click(main.x + 322, main.y + 8);  // the menu 屏群, last of the menu bar
        const auto menu = x.Geometry(x.WaitNewWindow(before, 10));
        x.Click(menu.x + 30, menu.y + 10);
        return x.WaitWindow(QString::fromUtf8("^屏群$"));
    };
    const QString window = openDesk();
    const auto area = x.ScreenArea(window);
    // The ghost's row may arrive after the window shows: row and 截图 are clicked again until the
    // request goes out.
    const auto requested = [&] { return own.ReadLog().find(" as zorled-shot-") != std::string::npos; };
    for (int attempt = 0; attempt < 12 && !requested(); ++attempt) {
        x.Click(area.x + 60, area.y + 45);    // the ghost's row
        x.Click(area.x + 234, area.y + 315);  // 截图
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!requested() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    x.Poll("the request to go out", requested);
    x.Key("alt+F4");
    x.WaitGone(window);
    // The request gives up after its time, and its answer comes to a window that is gone.
    x.Poll("the request to end", [&] {
        return own.ReadLog().find("Client zorled-shot-") != std::string::npos || program.state() == QProcess::NotRunning;
    });
    // The answer has had its moment in the program: it is still there and answers its operator.
    ASSERT_FALSE(program.waitForFinished(1000)) << "the program ended with status " << program.exitCode() << ", "
                                                 << (program.exitStatus() == QProcess::CrashExit ? "crashed" : "exited");
    const QString again = openDesk();
    EXPECT_EQ(program.state(), QProcess::Running);
    fs::create_directories(fs::path(ZORLED_BINARY_DIR) / "fleet-screenshots");
    x.Screenshot(fs::path(ZORLED_BINARY_DIR) / "fleet-screenshots" / "desk-open-again.png");
    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(30000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
}
