#include "output/ledoutputengine.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QPainter>
#include <QUuid>
#include <QWidget>
#include <chrono>
#include <cstring>
#include <future>
#include <thread>

#include "core/home.h"
#include "output/pagepicture.h"
#include "output/pixelmap.h"
#include "qtbase/application.h"

namespace zl {
namespace {

// Receivers drop a source after 2.5 s of silence; an unchanged picture is repeated well inside it.
constexpr LocalMs kKeepAliveMs = 1000;
constexpr int kRepeatsOfSame = 3;
constexpr int kTerminatingPackets = 3;
// How soon a host that did not resolve, or a link that did not open, is tried again.
constexpr LocalMs kRetryMs = 5000;

std::optional<in_addr> SystemResolve(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return std::nullopt;
    const in_addr address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    ::freeaddrinfo(found);
    return address;
}

QString Text(const std::string& s) { return QString::fromStdString(s); }

// Quarters red, green, blue and white from the top left, so a wrong start corner, line
// direction or colour order shows at a glance.
QImage TestPattern(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    const int w = (width + 1) / 2, h = (height + 1) / 2;
    p.fillRect(0, 0, w, h, Qt::red);
    p.fillRect(w, 0, width - w, h, Qt::green);
    p.fillRect(0, h, w, height - h, Qt::blue);
    p.fillRect(w, h, width - w, height - h, Qt::white);
    return image;
}

}  // namespace

E131Source InstallationSource() {
    QFile id("/etc/machine-id");
    QByteArray machine = id.open(QIODevice::ReadOnly) ? id.readAll().trimmed() : QByteArray();
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    if (machine.isEmpty()) machine = host;
    static const QUuid kNamespace("{6f1c2d1e-5b0a-4c3e-9d7f-3a8e2b1c0d4f}");
    const QUuid cid = QUuid::createUuidV5(
        kNamespace, QString::fromLatin1(machine) + QString::fromStdString(ProgramHome().string()));
    E131Source source;
    const QByteArray bytes = cid.toRfc4122();
    std::memcpy(source.cid.data(), bytes.constData(), 16);
    source.name = std::string("ZorLED显示系统 ") + host;
    return source;
}

struct LedOutputEngine::Lookup {
    std::shared_future<std::optional<in_addr>> answer;
};

struct LedOutputEngine::Output {
    explicit Output(const LedOutputConfig& c, const E131Source& source)
        : config(c), map(c), next(static_cast<size_t>(c.PixelCount()) * 3), last(next.size()) {
        if (c.protocol == LedProtocol::Ddp) {
            ddp.Prepare(batch, next.size());
        } else {
            e131.emplace(source, c.universe, static_cast<size_t>(c.PixelCount()));
            e131->Prepare(batch);
        }
    }
    LedOutputConfig config;
    PixelMap map;
    std::vector<std::uint8_t> next, last;
    bool haveLast = false;
    int sendsOfSame = 0;
    LocalMs lastSend = 0;
    DdpFramer ddp;
    std::optional<E131Framer> e131;
    PacketBatch batch;
    UdpLink link;
    std::optional<Lookup> lookup;
    LocalMs retryAt = 0;
    std::string problem;
    bool pattern = false;
    std::optional<PixelMap> patternMap;
    QImage patternPicture;
    LedOutputStats stats;
};

LedOutputEngine::LedOutputEngine(PageSource page, E131Source source)
    : page_(std::move(page)), source_(std::move(source)), resolver_(SystemResolve) {}

LedOutputEngine::~LedOutputEngine() { Stop(); }

void LedOutputEngine::SetOutputs(std::vector<LedOutputConfig> outputs) {
    const bool wasRunning = running_;
    Stop();
    configs_ = std::move(outputs);
    outputs_.clear();
    if (wasRunning) Start();
    if (StatusChanged) StatusChanged(Status());
}

void LedOutputEngine::Build() {
    outputs_.clear();
    areas_.clear();
    pictures_.clear();
    for (const LedOutputConfig& c : configs_) {
        outputs_.push_back(std::make_unique<Output>(c, source_));
        areas_[c.rate] |= QRect(c.x, c.y, c.width, c.height);
    }
}

void LedOutputEngine::Start() {
    if (running_) return;
    if (outputs_.size() != configs_.size()) Build();
    running_ = true;
    const LocalMs now = Now();
    for (auto& o : outputs_) {
        o->haveLast = false;
        o->sendsOfSame = 0;
        if (!o->link.IsOpen()) OpenLink(*o, now);
    }
    for (const auto& [rate, area] : areas_) {
        std::unique_ptr<Timer>& timer = timers_[rate];
        timer = CreateTimer();
        timer->SetInterval(TickInterval(rate));
        timer->SetOnTimer([this, rate = rate] { Guarded([this, rate] { Tick(rate); }); });
        timer->SetEnabled(true);
    }
    if (StatusChanged) StatusChanged(Status());
}

void LedOutputEngine::Stop() {
    if (!running_) return;
    running_ = false;
    timers_.clear();
    for (auto& o : outputs_) {
        if (o->e131 && o->haveLast)
            for (int i = 0; i < kTerminatingPackets; ++i) Transmit(*o, kE131StreamTerminated);
        o->haveLast = false;
    }
    if (StatusChanged) StatusChanged(Status());
}

void LedOutputEngine::SetTestPattern(int index, bool on) {
    if (index < 0 || index >= static_cast<int>(configs_.size())) return;
    if (outputs_.size() != configs_.size()) Build();
    Output& o = *outputs_[static_cast<size_t>(index)];
    o.pattern = on;
    if (on && !o.patternMap) {
        LedOutputConfig at = o.config;
        at.x = at.y = 0;
        o.patternMap.emplace(at);
        o.patternPicture = TestPattern(at.width, at.height);
    }
}

void LedOutputEngine::OpenLink(Output& o, LocalMs now) {
    const LedOutputConfig& c = o.config;
    std::string failure;
    if (c.Multicast()) {
        failure = o.link.OpenMulticast(c.universe, o.e131->Universes(), c.port, c.ttl, c.interface);
    } else {
        in_addr address{};
        if (::inet_pton(AF_INET, c.host.c_str(), &address) == 1) {
            failure = o.link.OpenUnicast(address, c.port);
        } else if (!o.lookup) {
            // Names are looked up on a thread of their own: a slow or dead name server never
            // holds the page up.
            std::packaged_task<std::optional<in_addr>()> task([resolver = resolver_, host = c.host] {
                return resolver(host);
            });
            o.lookup = Lookup{task.get_future().share()};
            std::thread(std::move(task)).detach();
            return;
        } else {
            if (o.lookup->answer.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return;
            const std::optional<in_addr> answer = o.lookup->answer.get();
            o.lookup.reset();
            if (answer)
                failure = o.link.OpenUnicast(*answer, c.port);
            else
                failure = "无法解析主机名 " + c.host;
        }
    }
    if (!failure.empty()) {
        o.retryAt = now + kRetryMs;
        SetProblem(o, failure);
    } else {
        SetProblem(o, {});
    }
}

void LedOutputEngine::WaitForLookups() {
    for (auto& o : outputs_)
        if (o->lookup) o->lookup->answer.wait();
}

void LedOutputEngine::Compose(Output& o, QWidget* page, int rate, bool& drawn) {
    if (o.pattern) {
        o.patternMap->Map(o.patternPicture, o.next.data());
        return;
    }
    if (!page) {
        o.next = o.last;  // no page: the last picture stays on the sign
        return;
    }
    // Drawn at most once per tick, into an image whose memory is kept from tick to tick.
    QImage& picture = pictures_[rate];
    if (!drawn) RenderPagePicture(*page, picture, areas_[rate]);
    drawn = true;
    o.map.Map(picture, o.next.data());
}

void LedOutputEngine::Tick(int rate) {
    if (!running_) return;
    const LocalMs now = Now();
    QWidget* page = page_ ? page_() : nullptr;
    bool drawn = false;
    const int interval = TickInterval(rate);
    for (size_t i = 0; i < outputs_.size(); ++i) {
        Output& o = *outputs_[i];
        if (o.config.rate != rate) continue;
        if (!o.link.IsOpen() && (o.lookup || now >= o.retryAt)) OpenLink(o, now);
        if (!page && !o.haveLast && !o.pattern) continue;
        Compose(o, page, rate, drawn);
        const bool changed = !o.haveLast || o.next != o.last;
        // The next tick would come too late for the keep-alive: send now.
        const bool due = now + interval - o.lastSend > kKeepAliveMs;
        if (!changed && o.sendsOfSame >= kRepeatsOfSame && !due) continue;
        o.sendsOfSame = changed ? 1 : o.sendsOfSame + 1;
        std::swap(o.next, o.last);
        o.haveLast = true;
        o.lastSend = now;
        Transmit(o, 0);
        if (FrameSent) FrameSent(static_cast<int>(i), o.last.data(), o.last.size());
    }
}

void LedOutputEngine::SendNow(int index) {
    Output& o = *outputs_.at(static_cast<size_t>(index));
    if (!o.link.IsOpen()) OpenLink(o, Now());
    bool drawn = false;
    Compose(o, page_ ? page_() : nullptr, o.config.rate, drawn);
    std::swap(o.next, o.last);
    o.haveLast = true;
    Transmit(o, 0);
}

void LedOutputEngine::Transmit(Output& o, std::uint8_t options) {
    if (o.e131)
        o.e131->Frame(o.last.data(), o.last.size(), options, o.batch);
    else
        o.ddp.Frame(o.last.data(), o.last.size(), o.batch);
    if (!o.link.IsOpen()) {
        ++o.stats.failures;
        return;
    }
    const int error = o.link.Send(o.batch, sendCall_);
    if (error != 0) {
        ++o.stats.failures;
        SetProblem(o, std::string("发送失败：") + std::strerror(error));
        return;
    }
    if (options == 0) ++o.stats.frames;
    o.stats.packets += static_cast<long long>(o.batch.Count());
    if (!o.problem.empty()) SetProblem(o, {});
}

void LedOutputEngine::SetProblem(Output& o, std::string problem) {
    if (problem == o.problem) return;
    if (problem.empty())
        qInfo("LED output %s: sending again", Describe(o.config).c_str());
    else
        qWarning("LED output %s: %s", Describe(o.config).c_str(), problem.c_str());
    o.problem = std::move(problem);
    if (StatusChanged) StatusChanged(Status());
}

QString LedOutputEngine::Status() const {
    if (configs_.empty()) return QString::fromUtf8("没有LED输出");
    QStringList problems;
    for (const auto& o : outputs_)
        if (!o->problem.empty()) problems << Text(Describe(o->config) + "：" + o->problem);
    if (!problems.isEmpty()) return problems.join(QString::fromUtf8("；"));
    return QString::fromUtf8("%1 个LED输出，%2").arg(configs_.size()).arg(QString::fromUtf8(running_ ? "正在发送" : "已停止"));
}

LedOutputStats LedOutputEngine::Stats(int index) const {
    if (index < 0 || index >= static_cast<int>(outputs_.size())) return {};
    return outputs_[static_cast<size_t>(index)]->stats;
}

}  // namespace zl
