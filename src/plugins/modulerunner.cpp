#include "plugins/modulerunner.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <csignal>
#include <cstdlib>
#include <sys/prctl.h>
#include <unistd.h>
#include <deque>
#include <fstream>

#include "core/clock.h"
#include "core/codepage.h"
#include "plugins/pluginfolders.h"
#include "qtbase/application.h"

namespace zl {

namespace {

constexpr char kHostName[] = "zorled-modulehost";
// How long play stop waits for the hosts' PluginUnInit before ending them.
constexpr int kStopWaitMs = 2000;

long MemoryLimitMb() {
    if (const char* v = std::getenv("ZORLED_MODULE_MEMORY_LIMIT_MB")) {
        char* end = nullptr;
        const long mb = std::strtol(v, &end, 10);
        if (end != v && *end == '\0' && mb > 0) return mb;
    }
    return kDefaultModuleMemoryLimitMb;
}

// Resident size of a process in kB, 0 when unknown.
long ResidentKb(qint64 pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kb = 0;
            status >> kb;
            return kb;
        }
        status.ignore(1 << 20, '\n');
    }
    return 0;
}

QString Name(const std::filesystem::path& file) { return QString::fromStdString(file.string()); }

}  // namespace

std::filesystem::path ModuleHostPath() {
    if (const char* v = std::getenv("ZORLED_MODULE_HOST"); v && *v) return v;
    std::error_code ec;
    for (const std::filesystem::path& candidate :
         {ExecutableFolder() / kHostName, std::filesystem::path(ZORLED_INSTALLED_HOST),
          std::filesystem::path(ZORLED_BUILD_HOST)})
        if (std::filesystem::is_regular_file(candidate, ec)) return candidate;
    return std::filesystem::path(ZORLED_INSTALLED_HOST);
}

class ModuleRunner::Host {
public:
    Host(std::filesystem::path file, const ModuleFailureListener& failed) : file_(std::move(file)), failed_(failed) {}
    ~Host() { End(0); }

    const std::filesystem::path file_;
    int mentions = 0;

    bool Running() const { return process_ && process_->state() != QProcess::NotRunning; }
    long Pid() const { return Running() ? static_cast<long>(process_->processId()) : 0; }

    // Starts the host when it is down, with PluginInit once per mention.
    void EnsureRunning() {
        if (Running()) return;
        End(0);
        process_ = new QProcess;
        process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(process_, &QProcess::readyReadStandardOutput, process_, [this] { OnReadable(); });
        QObject::connect(process_, &QProcess::finished, process_, [this] { OnEnded(); });
        QObject::connect(process_, &QProcess::errorOccurred, process_, [this](QProcess::ProcessError e) {
            if (e == QProcess::FailedToStart) OnEnded();
        });
        timer_ = CreateTimer();
        timer_->SetInterval(kModuleCallTimeoutMs);
        timer_->SetOnTimer([this] { OnTimeout(); });
        ended_ = false;
        // The host leads a process group of its own and adopts what its module's children leave
        // behind, so that ending the group ends everything the module started.
        process_->setChildProcessModifier([] {
            ::setpgid(0, 0);
            ::prctl(PR_SET_CHILD_SUBREAPER, 1);
        });
        process_->start(QString::fromStdString(ModuleHostPath().string()), {Name(file_)});
        group_ = static_cast<pid_t>(process_->processId());
        for (int i = 0; i < mentions; ++i) Send('I', nullptr);
    }

    // `place` names the widget asking, for the reports of a call that fails.
    void Send(char request, std::function<void(bool)> done, const QString& place = {}) {
        if (!process_) {
            if (done) done(false);
            return;
        }
        if (!place.isEmpty()) lastPlace_ = place;
        pending_.push_back({request, std::move(done), place});
        process_->write(&request, 1);
        if (!timer_->Enabled()) timer_->SetEnabled(true);
    }

    // Blocks until nothing is outstanding or the host failed (the tool's virtual time).
    void Await() {
        QDeadlineTimer deadline(kModuleCallTimeoutMs);
        while (process_ && !pending_.empty()) {
            if (process_->waitForReadyRead(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0)))) continue;
            if (!process_) break;
            if (!Running())
                OnEnded();
            else if (deadline.hasExpired())
                OnTimeout();
        }
    }

    // Asks for PluginUnInit once per mention and closes the host's input, so that it ends.
    void BeginStop() {
        if (!Running()) return;
        for (int i = 0; i < mentions; ++i) Send('U', nullptr);
        // Ending now is the plan: neither replies nor the end are news any more.
        QObject::disconnect(process_, nullptr, nullptr, nullptr);
        process_->closeWriteChannel();
    }
    void FinishStop(const QDeadlineTimer& deadline) {
        if (Running()) process_->waitForFinished(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0)));
        End(0);
    }

private:
    struct Pending {
        char request;
        std::function<void(bool)> done;
        QString place;
    };

    // The widgets waiting on the host, else the one that asked last.
    QString Places() const {
        QStringList places;
        for (const Pending& p : pending_)
            if (!p.place.isEmpty() && !places.contains(p.place)) places << p.place;
        if (places.isEmpty() && !lastPlace_.isEmpty()) places << lastPlace_;
        return places.join(QString());
    }

    void OnReadable() {
        while (process_ && process_->bytesAvailable() > 0) {
            char reply = 0;
            if (process_->read(&reply, 1) != 1) break;
            if (pending_.empty()) continue;
            Pending p = std::move(pending_.front());
            pending_.pop_front();
            // The next call gets its full time from now.
            timer_->SetEnabled(false);
            if (!pending_.empty()) timer_->SetEnabled(true);
            if (reply == 'f' && !notFunctionReported_) {
                notFunctionReported_ = true;
                ReportError(QStringLiteral("Data module \"%1\": its export for this call is not a function; it is not called")
                                .arg(Name(file_)) +
                            p.place);
            }
            const qint64 pid = process_->processId();
            if (p.done) p.done(true);
            if (!process_) return;
            const long limitMb = MemoryLimitMb();
            const long kb = ResidentKb(pid);
            if (kb > limitMb * 1024) {
                Fail("recycled", std::to_string(kb / 1024),
                     QStringLiteral("Data module \"%1\" uses %2 MB, above the limit of %3 MB; it is started afresh at the next pass")
                         .arg(Name(file_))
                         .arg(kb / 1024)
                         .arg(limitMb));
                return;
            }
        }
    }

    void OnEnded() {
        if (ended_ || !process_) return;
        if (process_->error() == QProcess::FailedToStart) {
            Fail("ended", "host does not start",
                 QStringLiteral("Data module \"%1\" cannot be run: the module host \"%2\" does not start")
                     .arg(Name(file_), QString::fromStdString(ModuleHostPath().string())));
            return;
        }
        const QString how = process_->exitStatus() == QProcess::CrashExit ? QStringLiteral("crashed")
                                                                          : QStringLiteral("ended (status %1)").arg(process_->exitCode());
        Fail("ended", how.toStdString(),
             QStringLiteral("Data module \"%1\" %2; it is started again at the next pass").arg(Name(file_), how));
    }

    void OnTimeout() {
        if (!process_) return;
        Fail("timeout", "",
             QStringLiteral("Data module \"%1\" did not return within %2 s; it was ended and is started again at the next pass")
                 .arg(Name(file_))
                 .arg(kModuleCallTimeoutMs / 1000));
    }

    // Ends the host, reports once and lets every waiting widget go idle.
    void Fail(std::string_view kind, const std::string& detail, const QString& message) {
        const QString places = Places();
        End(0);
        if (failed_) failed_(kind, file_.string(), detail);
        // Named before the host ends: ending it lets every waiting widget go.
        ReportError(message + places);
    }

    void End(int waitMs) {
        ended_ = true;
        if (timer_) timer_->SetEnabled(false);
        // Every way a host ends comes here: its whole group goes with it, also after it died.
        if (group_ > 0) ::kill(-group_, SIGKILL);
        group_ = 0;
        if (process_) {
            QProcess* p = process_;
            process_ = nullptr;
            QObject::disconnect(p, nullptr, nullptr, nullptr);
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(waitMs > 0 ? waitMs : 1000);
            }
            p->deleteLater();
        }
        auto failed = std::move(pending_);
        pending_.clear();
        for (Pending& f : failed)
            if (f.done) f.done(false);
    }

    QProcess* process_ = nullptr;
    pid_t group_ = 0;
    std::unique_ptr<Timer> timer_;
    std::deque<Pending> pending_;
    bool ended_ = true;
    QString lastPlace_;
    bool notFunctionReported_ = false;
    const ModuleFailureListener& failed_;
};

ModuleRunner& ModuleRunner::Instance() {
    // Never destroyed: hosts end with their input when the program ends.
    static auto* runner = new ModuleRunner;
    return *runner;
}

ModuleRunner::ModuleRunner() = default;
ModuleRunner::~ModuleRunner() = default;

ModuleRunner::Host* ModuleRunner::HostFor(const std::filesystem::path& file) {
    auto& host = hosts_[file];
    if (!host) host = std::make_unique<Host>(file, failed_);
    return host.get();
}

void ModuleRunner::Start(const StringList& modules) {
    hosts_.clear();
    for (const std::string& module : modules)
        if (const auto file = FindLibraryFile(module)) HostFor(*file)->mentions++;
    // In list order of first mention: a module's PluginInit calls all go to its own host.
    for (const std::string& module : modules) {
        const auto file = FindLibraryFile(module);
        if (!file) continue;
        Host* host = HostFor(*file);
        host->EnsureRunning();
    }
    if (await_)
        for (auto& [file, host] : hosts_) host->Await();
}

void ModuleRunner::Stop() {
    for (auto& [file, host] : hosts_) host->BeginStop();
    const QDeadlineTimer deadline(kStopWaitMs);
    for (auto& [file, host] : hosts_) host->FinishStop(deadline);
    hosts_.clear();
}

void ModuleRunner::Call(const std::string& module, std::function<void(bool)> done, const QString& place) {
    const auto file = FindLibraryFile(module);
    if (!file) {
        if (done) done(true);
        return;
    }
    Host* host = HostFor(*file);
    host->EnsureRunning();
    host->Send('G', std::move(done), place);
    if (await_) host->Await();
}

int ModuleRunner::RunningHosts() const {
    int n = 0;
    for (const auto& [file, host] : hosts_) n += host->Running() ? 1 : 0;
    return n;
}

long ModuleRunner::HostProcessId(const std::string& module) const {
    const auto file = FindLibraryFile(module);
    if (!file) return 0;
    const auto it = hosts_.find(*file);
    return it == hosts_.end() ? 0 : it->second->Pid();
}

}  // namespace zl
