#include "output/ledoutputengine.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QPainter>
#include <QUuid>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <future>
#include <mutex>
#include <thread>
#include <utility>

#include "core/home.h"
#include "output/pacequeue.h"
#include "output/pagepicture.h"
#include "output/pixelmap.h"
#include "qtbase/application.h"

namespace zl {
namespace {

// Receivers drop a source after 2.5 s of silence; an unchanged picture is repeated well inside it.
constexpr LocalMs kKeepAliveMs = 1000;
// A step of the brightness schedule fades in over this long instead of jumping.
constexpr MonoMs kFadeMs = 2000;
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

std::int64_t SteadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

constexpr std::string_view kPatternNames[kTestPatternCount] = {"corners", "chase", "red",     "green",
                                                                "blue",    "white", "gradient", "grid"};
constexpr std::string_view kPatternTitles[kTestPatternCount] = {"四角与颜色", "走点", "红", "绿",
                                                                 "蓝",         "白",   "渐变", "网格"};
// The chase walks this many pixels a second.
constexpr LocalMs kChasePixelsPerSecond = 10;

// The still patterns, region sized.
QImage StillPattern(TestPatternKind kind, int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter p(&image);
    switch (kind) {
        case TestPatternKind::Corners: {
            const int w = (width + 1) / 2, h = (height + 1) / 2;
            p.fillRect(0, 0, w, h, Qt::red);
            p.fillRect(w, 0, width - w, h, Qt::green);
            p.fillRect(0, h, w, height - h, Qt::blue);
            p.fillRect(w, h, width - w, height - h, Qt::white);
            break;
        }
        case TestPatternKind::Red: image.fill(Qt::red); break;
        case TestPatternKind::Green: image.fill(Qt::green); break;
        case TestPatternKind::Blue: image.fill(Qt::blue); break;
        case TestPatternKind::White: image.fill(Qt::white); break;
        case TestPatternKind::Gradient:
            for (int x = 0; x < width; ++x) {
                const int v = width == 1 ? 255 : x * 255 / (width - 1);
                p.fillRect(x, 0, 1, height, QColor(v, v, v));
            }
            break;
        case TestPatternKind::Grid:
            for (int x = 0; x < width; ++x)
                for (int y = 0; y < height; ++y)
                    if (x % 8 == 0 || y % 8 == 0 || x == width - 1 || y == height - 1) image.setPixel(x, y, 0xFFFFFFFF);
            break;
        case TestPatternKind::Chase: break;
    }
    return image;
}

}  // namespace

std::string_view TestPatternName(TestPatternKind kind) { return kPatternNames[static_cast<int>(kind)]; }
std::string_view TestPatternTitle(TestPatternKind kind) { return kPatternTitles[static_cast<int>(kind)]; }
std::optional<TestPatternKind> TestPatternByName(std::string_view name) {
    for (int k = 0; k < kTestPatternCount; ++k)
        if (kPatternNames[k] == name) return static_cast<TestPatternKind>(k);
    return std::nullopt;
}

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
    explicit Output(const LedOutputConfig& c, const E131Source& source, int at)
        : index(at), config(c), map(c), wire(static_cast<size_t>(c.PixelCount()) * static_cast<size_t>(c.Channels())),
          scratch(wire.size()) {
        E131Options layout;
        layout.channelsPerPixel = c.Channels();
        layout.startChannel = c.startChannel;
        layout.pixelsPerUniverse = c.UniversePixels();
        layout.priority = c.priority;
        layout.syncUniverse = c.sync;
        if (c.protocol == LedProtocol::Ddp) {
            ddp = DdpFramer(static_cast<size_t>(c.offset) * static_cast<size_t>(c.Channels()), c.Channels());
            for (PacketBatch& b : batch) ddp.Prepare(b, wire.size());
        } else if (c.protocol == LedProtocol::E131) {
            e131.emplace(source, c.universe, static_cast<size_t>(c.PixelCount()), layout);
            for (PacketBatch& b : batch) e131->Prepare(b);
        } else {
            artnet.emplace(c.universe, static_cast<size_t>(c.PixelCount()), layout, c.sync != 0);
            for (PacketBatch& b : batch) artnet->Prepare(b);
        }
    }
    int index;
    LedOutputConfig config;
    PixelMap map;
    // The wire bytes last mapped, which are the ones last sent: every change goes out at once.
    std::vector<std::uint8_t> wire;
    std::vector<std::uint8_t> scratch;  // a test pattern's next frame
    bool haveLast = false;
    int sendsOfSame = 0;
    LocalMs lastSend = 0;
    DdpFramer ddp;
    std::optional<E131Framer> e131;
    std::optional<ArtNetFramer> artnet;
    // Two buffers of packets: a paced frame goes out of one while the next is framed in the
    // other. Each remembers which picture's pixels it holds, so an unchanged one is not copied.
    PacketBatch batch[2];
    long long held[2] = {-1, -1};
    long long picture = 0;  // counts the pictures mapped into `wire`
    UdpLink link;
    std::optional<Lookup> lookup;
    std::optional<in_addr> address;  // the controller's, once a unicast link opened
    LocalMs retryAt = 0;
    bool pattern = false;
    TestPatternKind patternKind = TestPatternKind::Corners;
    LocalMs patternStart = 0;
    std::optional<PixelMap> patternMap;
    // The brightness schedule's fade: from `fadeFrom` to `fadeTo` per cent over kFadeMs from
    // `fadeStart` on the monotonic clock, so setting the wall clock changes no fade's length.
    double fadeFrom = -1, fadeTo = -1;
    MonoMs fadeStart = 0;
    std::vector<std::uint32_t> patternChain;
    QImage patternPicture;
    LedOutputStats stats;
};

// Sends paced frames packet by packet at their moments on a thread of its own (the GUI
// thread's millisecond timers cannot space packets finer), every paced output's packets
// interleaved in the order they fall due. The tick only hands frames over and never waits.
class LedOutputEngine::Pacer {
public:
    // What the sender did for an output since the last look.
    struct Results {
        long long frames = 0, packets = 0, failures = 0;
        int lastError = 0;  // of the last frame that finished
        bool any = false;
    };

    Pacer(SendBatchCall call, std::function<void(std::int64_t)> wait) : call_(call), wait_(std::move(wait)) {
        thread_ = std::thread([this] { Run(); });
    }
    ~Pacer() {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        work_.notify_all();
        thread_.join();
    }
    // The buffer the output's next frame may be framed in: the one not going out. A frame still
    // waiting there is taken back first: true in `skipped` then.
    int Claim(const Output& o, bool& skipped) {
        std::lock_guard lock(mutex_);
        skipped = queue_.Withdraw(o.index);
        return queue_.Sending(o.index) == 0 ? 1 : 0;
    }
    void Submit(Output& o, int slot, size_t count, std::int64_t spanNs) {
        {
            std::lock_guard lock(mutex_);
            const size_t at = static_cast<size_t>(o.index);
            if (outputs_.size() <= at) {
                outputs_.resize(at + 1);
                results_.resize(at + 1);
            }
            outputs_[at] = &o;
            queue_.Submit(o.index, slot, count, SteadyNs(), spanNs);
        }
        work_.notify_all();
    }
    Results Take(const Output& o) {
        std::lock_guard lock(mutex_);
        const size_t at = static_cast<size_t>(o.index);
        return at < results_.size() ? std::exchange(results_[at], Results{}) : Results{};
    }
    // Frames waiting are dropped (true when the output had one); the ones going out finish.
    bool DropWaiting(const Output& o) {
        std::lock_guard lock(mutex_);
        return queue_.Withdraw(o.index);
    }
    void WaitIdle() {
        std::unique_lock lock(mutex_);
        idle_.wait(lock, [&] { return queue_.Empty(); });
    }

private:
    void Run() {
        std::unique_lock lock(mutex_);
        while (!quit_) {
            const std::optional<PaceQueue::Packet> next = queue_.Next();
            if (!next) {
                idle_.notify_all();
                work_.wait(lock);
                continue;
            }
            if (wait_) {
                lock.unlock();
                wait_(next->atNs);
                lock.lock();
            } else if (SteadyNs() < next->atNs) {
                // A frame handed over meanwhile may have a packet due sooner: woken, look again.
                work_.wait_until(lock, std::chrono::steady_clock::time_point(std::chrono::nanoseconds(next->atNs)));
                continue;
            }
            const std::optional<PaceQueue::Packet> now = queue_.Next();
            if (!now || now->output != next->output || now->index != next->index) continue;
            Output& o = *outputs_[static_cast<size_t>(next->output)];
            lock.unlock();
            const int error = o.link.Send(o.batch[next->slot], next->index, 1, call_);
            lock.lock();
            if (const auto done = queue_.Sent(*next, error)) {
                Results& r = results_[static_cast<size_t>(done->output)];
                r.any = true;
                r.lastError = done->error;
                if (done->error != 0) {
                    ++r.failures;
                } else {
                    ++r.frames;
                    r.packets += static_cast<long long>(done->packets);
                }
            }
        }
    }

    SendBatchCall call_;
    std::function<void(std::int64_t)> wait_;  // empty: wait on the steady clock
    std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable idle_;
    PaceQueue queue_;
    std::vector<Output*> outputs_;
    std::vector<Results> results_;
    bool quit_ = false;
    std::thread thread_;
};

LedOutputEngine::LedOutputEngine(PageSource page, E131Source source)
    : page_(std::move(page)), source_(std::move(source)), resolver_(SystemResolve) {}

LedOutputEngine::~LedOutputEngine() {
    Stop();
    pacer_.reset();
}

void LedOutputEngine::SetPaceWait(std::function<void(std::int64_t)> wait) {
    pacer_.reset();
    paceWait_ = std::move(wait);
}

void LedOutputEngine::WaitForPacedSends() {
    if (!pacer_) return;
    pacer_->WaitIdle();
    CollectPaced();
}

void LedOutputEngine::CollectPaced() {
    if (!pacer_) return;
    for (auto& o : outputs_) {
        const Pacer::Results r = pacer_->Take(*o);
        if (!r.any) continue;
        o->stats.frames += r.frames;
        o->stats.packets += r.packets;
        o->stats.failures += r.failures;
        if (r.lastError != 0)
            SetProblem(*o, std::string("发送失败：") + std::strerror(r.lastError));
        else if (!o->stats.problem.empty())
            SetProblem(*o, {});
    }
}

void LedOutputEngine::SetOutputs(std::vector<LedOutputConfig> outputs) {
    const bool wasRunning = running_;
    Stop();
    WaitForPacedSends();  // the sender thread holds no output that is about to go
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
        outputs_.push_back(std::make_unique<Output>(c, source_, static_cast<int>(outputs_.size())));
        if (c.enabled) areas_[c.rate] |= QRect(c.x, c.y, c.width, c.height);
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
        if (o->config.enabled && !o->link.IsOpen()) OpenLink(*o, now);
        if (o->config.enabled && o->config.pace > 0 && !pacer_)
            pacer_ = std::make_unique<Pacer>(sendCall_, paceWait_);
    }
    schedules_.clear();
    for (const auto& [rate, area] : areas_) {
        std::unique_ptr<Timer>& timer = timers_[rate];
        schedules_.insert_or_assign(rate, FrameSchedule(rate, now * 1'000'000));
        timer = CreateTimer();
        timer->SetInterval(TickInterval(rate));
        timer->SetOnTimer([this, rate = rate] {
            Guarded([this, rate] {
                // The next deadline counts from the schedule, not from when this tick came.
                auto at = schedules_.find(rate);
                const int wait = at->second.Advance(Now() * 1'000'000);
                Tick(rate);
                if (auto t = timers_.find(rate); t != timers_.end() && t->second) t->second->SetInterval(wait);
            });
        });
        timer->SetEnabled(true);
    }
    if (StatusChanged) StatusChanged(Status());
}

void LedOutputEngine::Stop() {
    if (!running_) return;
    running_ = false;
    timers_.clear();
    // The frame going out finishes; one waiting behind it is not worth holding the stop for.
    if (pacer_)
        for (auto& o : outputs_)
            if (pacer_->DropWaiting(*o)) ++o->stats.skipped;
    WaitForPacedSends();
    // Art-Net has no packet that ends a stream: its receivers time out on their own.
    for (auto& o : outputs_) {
        if (o->e131 && o->haveLast)
            for (int i = 0; i < kTerminatingPackets; ++i) Transmit(*o, kE131StreamTerminated);
        o->haveLast = false;
    }
    if (StatusChanged) StatusChanged(Status());
}

void LedOutputEngine::SetTestPattern(int index, bool on, TestPatternKind kind) {
    if (index < 0 || index >= static_cast<int>(configs_.size())) return;
    if (outputs_.size() != configs_.size()) Build();
    Output& o = *outputs_[static_cast<size_t>(index)];
    o.pattern = on;
    if (!on) return;
    LedOutputConfig at = o.config;
    at.x = at.y = 0;
    if (!o.patternMap) o.patternMap.emplace(at);
    o.patternKind = kind;
    o.patternStart = Now();
    o.patternPicture = StillPattern(kind, at.width, at.height);
    if (kind == TestPatternKind::Chase) o.patternChain = ChainOrder(at);
}

void LedOutputEngine::OpenLink(Output& o, LocalMs now) {
    const LedOutputConfig& c = o.config;
    std::string failure;
    if (c.Multicast()) {
        failure = o.link.OpenMulticast(c.universe, o.e131->Universes(), c.sync, c.port, c.ttl, c.interface);
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
        if (!c.Multicast()) CheckSameController(o);
    }
}

void LedOutputEngine::CheckSameController(Output& o) {
    // Names only resolve off the GUI thread, so this is the first moment "localhost" and
    // "127.0.0.1" can be seen to be one controller.
    o.address = o.link.Peer();
    for (const auto& other : outputs_) {
        if (other.get() == &o || !other->address || other->address->s_addr != o.address->s_addr) continue;
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &*o.address, text, sizeof text);
        const bool first = other->index < o.index;
        const std::string problem =
            SameAddressOverlap(first ? other->config : o.config, first ? o.config : other->config, text);
        if (problem.empty()) continue;
        qWarning("%s", problem.c_str());
        ReportError(QString::fromStdString(problem));
    }
}

void LedOutputEngine::WaitForLookups() {
    for (auto& o : outputs_)
        if (o->lookup) o->lookup->answer.wait();
}

bool LedOutputEngine::Compose(Output& o, QWidget* page, int rate, QImage& picture) {
    if (o.pattern) {
        if (o.patternKind == TestPatternKind::Chase) {
            // The picture keeps one lit pixel: the one the walk has reached by now.
            const LocalMs walked = (Now() - o.patternStart) * kChasePixelsPerSecond / 1000;
            const std::uint32_t at = o.patternChain[static_cast<size_t>(walked) % o.patternChain.size()];
            o.patternPicture.fill(Qt::black);
            o.patternPicture.setPixel(static_cast<int>(at % static_cast<std::uint32_t>(o.config.width)),
                                      static_cast<int>(at / static_cast<std::uint32_t>(o.config.width)), 0xFFFFFFFF);
        }
        o.patternMap->Map(o.patternPicture, o.scratch.data());
        o.map.Invalidate();  // the page's bytes are gone from the wire buffer
        if (o.haveLast && o.scratch == o.wire) return false;
        std::swap(o.scratch, o.wire);
        return true;
    }
    if (!page) return false;  // no page: the last picture stays on the sign
    // Taken at most once per tick; a drawn one goes into an image whose memory is kept from tick
    // to tick (`picture` shares it only until the tick ends, so drawing into it never copies).
    if (picture.isNull()) picture = RenderPagePicture(*page, pictures_[rate], areas_[rate]);
    // Only the rows that changed are mapped again; an unchanged picture costs one comparison.
    return o.map.Update(picture, o.wire.data()) || !o.haveLast;
}

void LedOutputEngine::Tick(int rate) {
    if (!running_) return;
    const LocalMs now = Now();
    QWidget* page = page_ ? page_() : nullptr;
    QImage picture;
    const int interval = TickInterval(rate);
    CollectPaced();
    for (size_t i = 0; i < outputs_.size(); ++i) {
        Output& o = *outputs_[i];
        if (o.config.rate != rate || !o.config.enabled) continue;
        if (!o.link.IsOpen() && (o.lookup || now >= o.retryAt)) OpenLink(o, now);
        if (!page && !o.haveLast && !o.pattern) continue;
        Dim(o);
        const bool changed = Compose(o, page, rate, picture);
        // The next tick would come too late for the keep-alive: send now.
        const bool due = now + interval - o.lastSend > kKeepAliveMs;
        if (!changed && o.sendsOfSame >= kRepeatsOfSame && !due) continue;
        o.sendsOfSame = changed ? 1 : o.sendsOfSame + 1;
        o.haveLast = true;
        o.lastSend = now;
        Transmit(o, 0, changed);
        if (FrameSent) FrameSent(static_cast<int>(i), o.wire.data(), o.wire.size());
    }
}

void LedOutputEngine::Dim(Output& o) {
    if (o.config.brightnessSchedule.empty()) return;
    const double target = ScheduledPercent(o.config.brightnessSchedule, Now());
    const MonoMs now = MonotonicNow();
    if (o.fadeTo < 0) {
        o.fadeFrom = o.fadeTo = target;  // the first frame starts at the scheduled level
    } else if (target != o.fadeTo) {
        o.fadeFrom = o.map.Dimming() * 100.0;
        o.fadeTo = target;
        o.fadeStart = now;
    }
    const double done = std::clamp(static_cast<double>(now - o.fadeStart) / kFadeMs, 0.0, 1.0);
    o.map.SetDimming((o.fadeFrom + (o.fadeTo - o.fadeFrom) * done) / 100.0);
}

void LedOutputEngine::SendNow(int index) {
    Output& o = *outputs_.at(static_cast<size_t>(index));
    CollectPaced();
    if (!o.link.IsOpen()) OpenLink(o, Now());
    QImage picture;
    const bool changed = Compose(o, page_ ? page_() : nullptr, o.config.rate, picture);
    o.haveLast = true;
    Transmit(o, 0, changed);
}

void LedOutputEngine::Transmit(Output& o, std::uint8_t options, bool changed) {
    const bool paced = o.config.pace > 0 && options == 0 && pacer_ && o.link.IsOpen();
    int slot = 0;
    if (paced) {
        bool skipped = false;
        slot = pacer_->Claim(o, skipped);
        if (skipped) ++o.stats.skipped;
    }
    if (changed) ++o.picture;
    // The packets keep the pixels of the frame before: copied again only when they changed.
    PacketBatch& batch = o.batch[slot];
    const bool copy = o.held[slot] != o.picture;
    o.held[slot] = o.picture;
    size_t count = batch.Count();
    if (o.e131) {
        count = o.e131->Frame(o.wire.data(), o.wire.size(), options, batch, copy);
    } else if (o.artnet) {
        count = o.artnet->Frame(o.wire.data(), o.wire.size(), batch, copy);
    } else if (!paced) {
        // Sent before the wire buffer changes again: the packets read it in place.
        o.ddp.FrameBorrowed(o.wire.data(), o.wire.size(), batch);
        o.held[slot] = -1;
    } else {
        o.ddp.Frame(o.wire.data(), o.wire.size(), batch, copy);
    }
    // No way out yet (a host still being looked up or that never resolved): the problem is
    // on show already, and a frame that was never tried is no failed send.
    if (!o.link.IsOpen()) return;
    if (paced) {
        const std::int64_t span = 1'000'000'000LL / o.config.rate * o.config.pace / 100;
        pacer_->Submit(o, slot, count, span);
        return;
    }
    Delivered(o, o.link.Send(batch, 0, count, sendCall_), count, options == 0);
}

void LedOutputEngine::Delivered(Output& o, int error, size_t packets, bool data) {
    if (error != 0) {
        ++o.stats.failures;
        SetProblem(o, std::string("发送失败：") + std::strerror(error));
        return;
    }
    if (data) ++o.stats.frames;
    o.stats.packets += static_cast<long long>(packets);
    if (!o.stats.problem.empty()) SetProblem(o, {});
}

void LedOutputEngine::SetProblem(Output& o, std::string problem) {
    if (problem == o.stats.problem) return;
    if (problem.empty())
        qInfo("LED output %s: sending again", Describe(o.config).c_str());
    else
        qWarning("LED output %s: %s", Describe(o.config).c_str(), problem.c_str());
    if (OutputChanged) OutputChanged(Describe(o.config) + "：" + (problem.empty() ? std::string("恢复发送") : problem));
    if (!problem.empty()) o.stats.lastError = problem;
    o.stats.problem = std::move(problem);
    if (StatusChanged) StatusChanged(Status());
}

QString LedOutputEngine::Status() const {
    if (configs_.empty()) return QString::fromUtf8("没有LED输出");
    std::vector<std::string> problems;
    for (const auto& o : outputs_)
        if (!o->stats.problem.empty()) problems.push_back(Describe(o->config) + "：" + o->stats.problem);
    if (!problems.empty()) return Text(ProblemList(problems, "；"));
    return QString::fromUtf8("%1 个LED输出，%2").arg(configs_.size()).arg(QString::fromUtf8(running_ ? "正在发送" : "已停止"));
}

LedOutputStats LedOutputEngine::Stats(int index) const {
    if (index < 0 || index >= static_cast<int>(outputs_.size())) return {};
    return outputs_[static_cast<size_t>(index)]->stats;
}

}  // namespace zl
