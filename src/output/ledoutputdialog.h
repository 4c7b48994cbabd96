#pragma once
#include <QDialog>
#include <functional>
#include <memory>
#include <vector>

#include "output/ledoutputconfig.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QScrollArea;
class QSpinBox;

namespace zl {

class LedOutputEngine;

// "LED输出": edits the home's ledoutput.ini, one output at a time, and sends a test pattern to
// the output on view. Nothing is written until "确定", and then only the values that changed, in
// place: comments, other keys and sections it could not read stay as the installer wrote them.
class LedOutputDialog : public QDialog {
    Q_OBJECT
public:
    // With the page's size, regions outside it are among the problems shown.
    explicit LedOutputDialog(QWidget* parent = nullptr, QSize page = QSize());
    ~LedOutputDialog() override;

    // The outputs that can be read, in file order.
    std::vector<LedOutputConfig> Outputs() const;
    // The output on view, -1 for none.
    int Current() const;
    void SelectOutput(int index);
    void AddOutput();
    void RemoveOutput();
    void SetTestPattern(bool on);
    // Checks and saves; false (with a message shown) keeps the dialog open.
    bool Save();
    // The engine behind the test pattern (tests drive its clock).
    LedOutputEngine* PatternEngine() const { return pattern_.get(); }
    // Shows why the outputs cannot be saved (tests answer it).
    std::function<void(const QString&)> Warn;

    QListWidget* List;
    QPushButton* AddButton;
    QPushButton* RemoveButton;
    QPushButton* PatternButton;
    QPushButton* OkButton;
    QPushButton* CancelButton;
    QLabel* Problems;
    QComboBox* PatternKind;
    QCheckBox* Enabled;
    QComboBox* Protocol;
    QLineEdit* Host;
    QSpinBox* Port;
    QSpinBox* Universe;
    QSpinBox* StartChannel;
    QSpinBox* PixelsPerUniverse;
    QSpinBox* Offset;
    QSpinBox* Priority;
    QSpinBox* Sync;
    QSpinBox* Pace;
    QSpinBox* X;
    QSpinBox* Y;
    QSpinBox* Width;
    QSpinBox* Height;
    QComboBox* Start;
    QComboBox* Lines;
    QCheckBox* Serpentine;
    QComboBox* Colors;
    QSpinBox* Brightness;
    QDoubleSpinBox* Gamma;
    QSpinBox* Ttl;
    QLineEdit* Interface;
    QSpinBox* Rate;

private:
    void ShowOutput();
    // The first problems of the file, scrolling, with the count of the rest.
    void ShowProblems(const std::vector<std::string>& problems);
    // Takes the changed field's value into the output on view.
    void ReadField(QObject* field);
    void RefreshList();
    void EnableFields();
    // Why the outputs cannot be saved, empty when they can.
    QString Invalid() const;

    // One line of the list: an output as read, or a section that could not be read, kept as
    // written until the operator removes it.
    struct Entry {
        LedOutputConfig config;
        bool readable = true;
    };
    std::vector<Entry> entries_;
    QLabel* syncLabel_;
    QScrollArea* problemArea_;
    std::vector<std::string> removed_;
    std::string text_;  // the file as it was when the dialog opened
    std::vector<LedOutputConfig> base_;  // its outputs as read then
    bool filling_ = false;
    std::unique_ptr<LedOutputEngine> pattern_;
};

// Shows the dialog modally; true when the file was saved.
bool EditLedOutputs(QWidget* parent, QSize page = QSize());

}  // namespace zl
