#include "app/fleetwindow.h"

#include <QSignalBlocker>

#include "desk/deskconfig.h"
#include "desk/deskserver.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QDoubleSpinBox>
#include <QTableView>
#include <QPointer>
#include <QThread>
#include <QVBoxLayout>
#include <algorithm>
#include <atomic>

#include "core/atomicfile.h"
#include "core/inifile.h"
#include "fleet/mqttlink.h"
#include "fleet/publisher.h"
#include "fleet/topics.h"

namespace zl {
namespace {

QString U(const char* s) { return QString::fromUtf8(s); }

const char* const kColumns[] = {"屏", "在线", "组", "内容", "计划", "页面", "自", "错误"};

}  // namespace

bool IsPublisherSettings(const std::filesystem::path& settings) {
    try {
        for (const IniSection& s : ParseIni(ReadWholeFile(settings)).sections)
            if (s.name == "fleet")
                return std::none_of(s.entries.begin(), s.entries.end(), [](const IniEntry& e) { return e.key == "sign"; });
    } catch (const std::exception&) {
    }
    return false;
}

int FleetModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : static_cast<int>(rows_.size()); }
int FleetModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 8; }

QVariant FleetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section >= 8) return {};
    return U(kColumns[section]);
}

QVariant FleetModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
    const QJsonObject& s = rows_[index.row()];
    const bool online = s.value("online").toBool();
    if (role == Qt::ForegroundRole && !online) return QColor(Qt::gray);
    if (role == Qt::ForegroundRole && index.column() == 7) return QColor(Qt::red);
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
        case 0: return s.value("sign").toString();
        case 1: return online ? U("在线") : U("离线");
        case 2: {
            QStringList groups;
            for (const QJsonValue& g : s.value("groups").toArray()) groups << g.toString();
            return groups.join(",");
        }
        case 3: return s.value("bundle").toString().left(12);
        case 4: return s.value("plan").toString();
        case 5: return s.value("page").toString();
        case 6: {
            const qint64 since = s.value("since").toInteger(0);
            return since > 0 ? QDateTime::fromMSecsSinceEpoch(since).toString("yyyy-MM-dd HH:mm:ss") : QString();
        }
        case 7: return s.value("error").toString();
    }
    return {};
}

void FleetModel::TakeState(const QJsonObject& state) {
    const QString sign = state.value("sign").toString();
    if (sign.isEmpty()) return;
    auto it = std::lower_bound(rows_.begin(), rows_.end(), sign,
                               [](const QJsonObject& row, const QString& id) { return row.value("sign").toString() < id; });
    const int row = static_cast<int>(it - rows_.begin());
    if (it != rows_.end() && it->value("sign").toString() == sign) {
        *it = state;
        emit dataChanged(index(row, 0), index(row, 7));
        return;
    }
    beginInsertRows({}, row, row);
    rows_.insert(it, state);
    endInsertRows();
}

FleetModel::FleetModel(QObject* parent) : QAbstractTableModel(parent), presence_(CreateTimer()) {
    presence_->SetInterval(250);
    presence_->SetOnTimer([this] {
        for (const std::string& sign : roster_.PresenceChanged()) Refresh(sign);
    });
    presence_->SetEnabled(true);
}

FleetModel::~FleetModel() = default;

void FleetModel::Take(const std::string& topic, std::string_view payload, const MessageInfo& how) {
    if (!roster_.Take(topic, payload, how)) return;
    Refresh(ParseTopic(topic).sign);
}

void FleetModel::Refresh(const std::string& sign) {
    if (const auto view = roster_.Sign(sign))
        TakeState(*view);
    else
        RemoveSign(QString::fromStdString(sign));
}

void FleetModel::RemoveSign(const QString& sign) {
    for (size_t row = 0; row < rows_.size(); ++row)
        if (rows_[row].value("sign").toString() == sign) {
            beginRemoveRows({}, static_cast<int>(row), static_cast<int>(row));
            rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(row));
            endRemoveRows();
            return;
        }
}

QString FleetModel::SignAt(int row) const {
    return row >= 0 && row < static_cast<int>(rows_.size()) ? rows_[row].value("sign").toString() : QString();
}

FleetWindow::FleetWindow(QWidget* parent, std::filesystem::path settings, std::filesystem::path home)
    : QDialog(parent), settingsFile_(std::move(settings)), home_(std::move(home)) {
    setWindowTitle(U("屏群"));
    resize(900, 360);
    auto* layout = new QVBoxLayout(this);
    table_ = new QTableView(this);
    table_->setModel(&model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    layout->addWidget(table_);
    auto* buttons = new QHBoxLayout;
    auto* publish = new QPushButton(U("发布当前方案…"), this);
    auto* announce = new QPushButton(U("公告…"), this);
    auto* shot = new QPushButton(U("截图"), this);
    auto* close = new QPushButton(U("关闭"), this);
    deskButton_ = new QPushButton(U("网页台"), this);
    deskButton_->setCheckable(true);
    deskButton_->setToolTip(U("在本机启动或停止网页台（fleet.ini 的 [desk] 一节），窗口关闭时停止"));
    for (QPushButton* b : {publish, announce, shot, deskButton_}) buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addLayout(buttons);
    status_ = new QLabel(this);
    status_->setWordWrap(true);
    layout->addWidget(status_);
    connect(publish, &QPushButton::clicked, this, &FleetWindow::Publish);
    connect(announce, &QPushButton::clicked, this, &FleetWindow::AnnounceText);
    connect(shot, &QPushButton::clicked, this, &FleetWindow::Screenshot);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(deskButton_, &QPushButton::toggled, this, &FleetWindow::RunDesk);
    try {
        config_ = ReadFleetConfig(settingsFile_, FleetRole::Publisher);
        link_ = std::make_unique<MqttLink>(config_, "zorled-desk-" + std::to_string(QCoreApplication::applicationPid()));
        link_->onConnected = [this] {
            link_->Subscribe("zorled/sign/+/online");
            link_->Subscribe("zorled/sign/+/state");
        };
        link_->onMessage = [this](const std::string& topic, std::string_view payload) {
            QMetaObject::invokeMethod(
                this, [this, topic, p = std::string(payload), how = MqttLink::Received()] { model_.Take(topic, p, how); },
                Qt::QueuedConnection);
        };
        link_->Start();
        SetStatus(U("屏群 %1").arg(QString::fromStdString(config_.broker)));
    } catch (const std::exception& e) {
        SetStatus(QString::fromUtf8(e.what()));
        for (QPushButton* b : {publish, announce, shot, deskButton_}) b->setEnabled(false);
    }
}

void FleetWindow::RunDesk(bool on) {
    if (!on) {
        if (!desk_) return;
        desk_.reset();
        SetStatus(U("网页台已停止"));
        return;
    }
    try {
        desk_ = std::make_unique<DeskServer>(ReadDeskConfig(settingsFile_), config_, home_);
        desk_->Start();
        SetStatus(U("网页台已启动：%1").arg(desk_->Url()));
    } catch (const std::exception& e) {
        desk_.reset();
        SetStatus(U("网页台没有启动：%1").arg(QString::fromUtf8(e.what())));
        const QSignalBlocker quiet(deskButton_);
        deskButton_->setChecked(false);
    }
}

FleetWindow::~FleetWindow() {
    desk_.reset();
    if (link_) link_->Stop();
}

void FleetWindow::SetStatus(const QString& text) { status_->setText(text); }

namespace {
std::atomic<int> g_jobs{0};

// A background job's message: "!" starts an error.
QString Outcome(const std::string& message) {
    return QString::fromStdString(!message.empty() && message[0] == '!' ? message.substr(1) : message);
}
}  // namespace

int FleetWindow::JobsOut() { return g_jobs; }

void FleetWindow::RunInBackground(std::function<std::string()> work, std::function<void(const std::string&)> done) {
    // The answer goes through the application object and looks for the window there, on the GUI thread.
    QPointer<FleetWindow> window(this);
    ++g_jobs;
    QThread* thread = QThread::create([window, work = std::move(work), done = std::move(done)] {
        std::string message;
        try {
            message = work();
        } catch (const std::exception& e) {
            message = std::string("!") + e.what();
        }
        QMetaObject::invokeMethod(qApp, [window, done, message] {
            --g_jobs;
            if (window) done(message);
        }, Qt::QueuedConnection);
    });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

void FleetWindow::Publish() {
    bool ok = false;
    const QString group = QInputDialog::getText(this, U("发布"), U("组:"), QLineEdit::Normal, {}, &ok);
    if (!ok || group.isEmpty()) return;
    SetStatus(U("正在发布…"));
    const FleetConfig config = config_;
    const auto pagedef = home_ / "pagedef";
    RunInBackground([config, pagedef, g = group.toStdString()] {
        const PublishResult r = PublishBundle(config, g, pagedef, 0);
        std::string text = "published bundle " + r.sha256.substr(0, 12) + " to group " + g;
        if (!r.versionNote.empty()) text += "\n" + r.versionNote;
        for (const std::string& w : r.warnings) text += "\nwarning: " + w;
        return text;
    }, [this](const std::string& message) { SetStatus(Outcome(message)); });
}

void FleetWindow::AnnounceText() {
    QDialog form(this);
    form.setWindowTitle(U("公告"));
    auto* layout = new QFormLayout(&form);
    auto* group = new QLineEdit(&form);
    auto* widget = new QLineEdit(&form);
    auto* minutes = new QDoubleSpinBox(&form);
    minutes->setRange(0, 525600);
    minutes->setSpecialValueText(U("直到清除"));
    auto* text = new QLineEdit(&form);
    layout->addRow(U("组:"), group);
    layout->addRow(U("部件名:"), widget);
    layout->addRow(U("分钟:"), minutes);
    layout->addRow(U("文字:"), text);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &form);
    layout->addRow(box);
    connect(box, &QDialogButtonBox::accepted, &form, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, &form, &QDialog::reject);
    if (form.exec() != QDialog::Accepted) return;
    const FleetConfig config = config_;
    RunInBackground([config, g = group->text().toStdString(), w = widget->text().toStdString(), m = minutes->value(),
                     t = text->text().toStdString()] {
        const std::string note = Announce(config, g, w, m, t);
        return std::string(t.empty() ? "announcement cleared" : "announcement sent") + (note.empty() ? "" : "\n" + note);
    }, [this](const std::string& message) { SetStatus(Outcome(message)); });
}

void FleetWindow::Screenshot() {
    const QString sign = model_.SignAt(table_->currentIndex().row());
    if (sign.isEmpty()) {
        SetStatus(U("请先选择一个屏"));
        return;
    }
    SetStatus(U("正在截图…"));
    const FleetConfig config = config_;
    auto png = std::make_shared<std::string>();
    RunInBackground([config, png, s = sign.toStdString()] {
        *png = RequestShot(config, s, 15000);
        return std::string();
    }, [this, png, sign](const std::string& message) {
        if (!message.empty()) {
            SetStatus(Outcome(message));
            return;
        }
        QPixmap picture;
        picture.loadFromData(QByteArray::fromStdString(*png), "PNG");
        auto* view = new QDialog(this);
        view->setAttribute(Qt::WA_DeleteOnClose);
        view->setWindowTitle(sign);
        auto* label = new QLabel(view);
        label->setPixmap(picture);
        (new QVBoxLayout(view))->addWidget(label);
        view->show();
        SetStatus(U("%1 的截图").arg(sign));
    });
}

}  // namespace zl
