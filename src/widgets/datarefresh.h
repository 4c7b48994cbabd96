#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/clock.h"
#include "core/datafile.h"
#include "core/props/component.h"
#include "core/props/declare.h"
#include "core/textlist.h"
#include "widgets/refreshing.h"

namespace zl {

class Control;

// Where a text widget's text comes from.
enum Tdatainterface { datafromEditor, dataformtxtfile, datafromexetxt };
extern const NameTable kDatainterfaceNames;

// A refresher never runs more often than this, whatever the widget's copy says.
constexpr int kMinDataRefreshTime = 10000;
constexpr int kDefaultDataRefreshTime = 180000;

// Feeds one text widget: a timer whose tick runs a refresh pass, which may ask a data module to
// write the text file and then hands the file's name to the widget.
class Tdatarefresh : public Component {
public:
    explicit Tdatarefresh(Component* owner = nullptr);
    ~Tdatarefresh() override;
    static const ClassInfo& StaticClass();
    const ClassInfo& Class() const override { return StaticClass(); }

    int datainterface() const { return datainterface_; }
    // A file source enables the timer, the editor source disables it.
    void Setdatainterface(int v);
    int DataRefreshTime() const { return dataRefreshTime_; }
    // Raised to kMinDataRefreshTime; also the timer's interval.
    void SetDataRefreshTime(int v);
    const std::string& TextFileName() const { return textFileName_; }
    void SetTextFileName(const std::string& v) { textFileName_ = v; }
    const std::string& ExeFileName() const { return exeFileName_; }
    void SetExeFileName(const std::string& v) { exeFileName_ = v; }
    // False while a pass runs, including while its data module call is out; a stop lets go of
    // the call and is idle at once.
    bool Idle() const { return idle_; }

    bool Enabled() const { return timer_->Enabled(); }
    void SetEnabled(bool v) { timer_->SetEnabled(v); }
    int Interval() const { return timer_->Interval(); }
    void SetInterval(int v) { timer_->SetInterval(v); }

    // The widget fed, named in the reports of its passes.
    const Control* Widget = nullptr;

    // The widget's reader, called with TextFileName at the end of a file pass.
    std::function<void(const std::string& fileName)> OnGetDataFromFileEvent;

    // One pass: the data module (in its host process) is asked for the file and the file read
    // when the call has returned, the GUI thread never waiting for it. An error on the way (a
    // file that cannot be read, a module that failed) goes to the error report and ends the pass;
    // the next tick tries again. Nothing happens while a pass is still running.
    void RefreshNow();
    // A pass at once, then the timer on, whatever the source.
    void StartRefresh();
    void StopRefresh();

private:
    void ReadFile();
    // ReadFile, its error reported with the widget and the data file.
    void ReadFileGuarded();

    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

    std::unique_ptr<Timer> timer_;
    int datainterface_ = datafromEditor;
    int dataRefreshTime_ = kDefaultDataRefreshTime;
    std::string textFileName_;
    std::string exeFileName_;
    bool idle_ = true;
};

// A text widget fed by a refresher it owns. The widget publishes its own copies of the four
// data properties, which page files store; each setter passes the value on to the refresher,
// which may hold it differently (a refresh time below the floor runs at the floor).
class DataFed : public RefreshingWidget {
public:
    // `reader` is the widget's handler for the refresher's text file; `widget` the widget itself.
    DataFed(const Control& widget, std::function<void(const std::string& fileName)> reader);
    ~DataFed() override;

    int datainterface() const { return datainterface_; }
    void Setdatainterface(int v);
    int DataRefreshTime() const { return dataRefreshTime_; }
    void SetDataRefreshTime(int v);
    const std::string& TextFileName() const { return textFileName_; }
    void SetTextFileName(const std::string& v);
    const std::string& ExeFileName() const { return exeFileName_; }
    void SetExeFileName(const std::string& v);

    // While held (an announcement shows in the widget) the refresher's text does not replace it.
    bool FeedHeld = false;

    void StartRefresh() override { refresher_->StartRefresh(); }
    void StopRefresh() override { refresher_->StopRefresh(); }
    bool RefreshIdle() const override { return refresher_->Idle(); }
    Tdatarefresh& Refresher() { return *refresher_; }

    // The four published entries, in their streaming order, for the table of class T.
    template <class T>
    static std::array<PropInfo, 4> Props() {
        using namespace decl;
        return {Access<T, &T::datainterface, &T::Setdatainterface>("datainterface", PropKind::Enum, std::nullopt,
                                                                   &kDatainterfaceNames),
                Access<T, &T::DataRefreshTime, &T::SetDataRefreshTime>("DataRefreshTime", PropKind::Integer),
                Access<T, &T::TextFileName, &T::SetTextFileName>("TextFileName", PropKind::String),
                Access<T, &T::ExeFileName, &T::SetExeFileName>("ExeFileName", PropKind::String)};
    }

private:
    std::unique_ptr<Tdatarefresh> refresher_;
    int datainterface_;
    int dataRefreshTime_;
    std::string textFileName_;
    std::string exeFileName_;
};

}  // namespace zl
