#pragma once
#include <QFrame>
#include <functional>
#include <optional>
#include <string>

#include "editors/editorlook.h"

class QButtonGroup;
class QLabel;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace zl {

class TSpinEdit;

// The data-source properties of a widget that refreshes its text from a file or a data module.
struct DataSourceProps {
    std::function<int()> datainterface;
    std::function<void(int)> setDatainterface;
    std::function<std::string()> TextFileName;
    std::function<void(const std::string&)> setTextFileName;
    std::function<std::string()> ExeFileName;
    std::function<void(const std::string&)> setExeFileName;
    std::function<int()> DataRefreshTime;
    std::function<void(int)> setDataRefreshTime;
};
// Those properties for a marquee or board with data refresh; nothing for any other widget.
std::optional<DataSourceProps> DataSourceOf(Control& widget);

// Refresh times are edited in seconds and stored in milliseconds, held within the 32-bit range.
int RefreshSecondsToMs(int seconds);

// The data source of a marquee or board: where its text comes from and how often it is re-read.
class TFrameinterface : public QFrame {
    Q_OBJECT
public:
    explicit TFrameinterface(QWidget* parent = nullptr);

    // Shows the widget's data source; writes nothing to it. Any other widget leaves the controls
    // as they are and ignores their changes.
    void BindControl(Control& widget);
    Control* Target() const { return target_.Get(); }

    QGroupBox* RadioGroupdatainterface;
    QButtonGroup* RadioGroupItems;
    QLineEdit* EditTextFileName;
    QPushButton* BitBtnseltxtfile;
    QLineEdit* EditExeFileName;
    QPushButton* BitBtnselexefile;
    TSpinEdit* SpinEditDataRefreshTime;

    // The pickers' filters and default extensions; a dialog may set its own.
    QString TextFileFilter;
    QString TextFileExt;
    QString ExeFileFilter;
    QString ExeFileExt;

    void RadioGroupdatainterfaceClick();
    void EditTextFileNameChange();
    void EditExeFileNameChange();
    void SpinEditDataRefreshTimeChange();
    void BitBtnseltxtfileClick();
    void BitBtnselexefileClick();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QLabel* textFileCaption_;
    QLabel* exeFileCaption_;
    QLabel* everyCaption_;
    QLabel* secondsCaption_;
    // The target's properties, while the target is a data-source widget that still exists.
    const DataSourceProps* Props() const;

    TargetRef<Control> target_;
    std::optional<DataSourceProps> props_;
};

}  // namespace zl
