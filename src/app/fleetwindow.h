#pragma once
#include <QAbstractTableModel>
#include <QDialog>
#include <QJsonObject>
#include <filesystem>
#include <memory>
#include <vector>

#include "core/clock.h"
#include "fleet/fleetconfig.h"
#include "fleet/roster.h"

class QLabel;
class QPushButton;
class QTableView;

namespace zl {

class MqttLink;
class DeskServer;

// The signs of the fleet from their retained states, one row per sign, kept in id order.
class FleetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Presence is looked at again a few times a second: a sign that falls silent turns offline
    // without a message.
    explicit FleetModel(QObject* parent = nullptr);
    ~FleetModel() override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // A sign's merged view (see FleetRoster); adds the sign or updates its row.
    void TakeState(const QJsonObject& state);
    // A state or presence message as the broker sent it; the sign comes from the topic.
    void Take(const std::string& topic, std::string_view payload, const MessageInfo& how = {});
    QString SignAt(int row) const;

private:
    void RemoveSign(const QString& sign);
    void Refresh(const std::string& sign);
    std::vector<QJsonObject> rows_;
    FleetRoster roster_;
    std::unique_ptr<Timer> presence_;
};

// "屏群": the fleet seen from the desk, live, with publish, announcement and screenshot.
class FleetWindow : public QDialog {
    Q_OBJECT
public:
    // `settings` is the desk's fleet.ini (with private_key); `home` the play home whose
    // selection a publish sends.
    FleetWindow(QWidget* parent, std::filesystem::path settings, std::filesystem::path home);
    ~FleetWindow() override;
    FleetModel& Model() { return model_; }
    // Background jobs (publish, announcement, screenshot) of all fleet windows not yet ended.
    static int JobsOut();
    QTableView* Table() const { return table_; }
    QPushButton* DeskButton() const { return deskButton_; }

private:
    void Publish();
    void AnnounceText();
    void Screenshot();
    // Starts or stops the web desk of the settings' [desk] section in this program.
    void RunDesk(bool on);
    // Runs `work` off the GUI thread; `done` gets its message (empty: success) back on it, unless
    // the window has gone by then (closing it never waits for the network).
    void RunInBackground(std::function<std::string()> work, std::function<void(const std::string&)> done);
    void SetStatus(const QString& text);

    std::filesystem::path settingsFile_, home_;
    FleetConfig config_;
    FleetModel model_;
    QTableView* table_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* deskButton_ = nullptr;
    std::unique_ptr<MqttLink> link_;
    // The web desk while the window runs it; it goes first when the window goes.
    std::unique_ptr<DeskServer> desk_;
};

// Whether a fleet.ini is a desk's (no sign of its own).
bool IsPublisherSettings(const std::filesystem::path& settings);

}  // namespace zl
