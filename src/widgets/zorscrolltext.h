#pragma once
#include <memory>
#include <string>

#include "aatext/scrolltext.h"
#include "widgets/datarefresh.h"
#include "widgets/refreshing.h"

namespace zl {

// The scroll-text board: the scrolling text control fed by a data refresher. The copies of the
// refresher's settings are what the page file stores.
class TzorScrollText : public TSmoothScrollText, public RefreshingWidget {
    Q_OBJECT
public:
    explicit TzorScrollText(Component* owner, QWidget* parent = nullptr);
    ~TzorScrollText() override;
    static const ClassInfo& StaticClass();
    const ClassInfo& Class() const override { return StaticClass(); }

    int datainterface() const { return datainterface_; }
    void Setdatainterface(int v);
    int DataRefreshTime() const { return dataRefreshTime_; }
    void SetDataRefreshTime(int v);
    const std::string& TextFileName() const { return textFileName_; }
    void SetTextFileName(const std::string& v);
    const std::string& ExeFileName() const { return exeFileName_; }
    void SetExeFileName(const std::string& v);

    // Replaces the lines by the file's lines as one change, so the text is laid out again and
    // starts from the top, also when the file did not change. No file: nothing changes.
    void LoadBoardText(const std::string& fileName);

    void StartRefresh() override;
    void StopRefresh() override;
    bool RefreshIdle() const override;
    Tdatarefresh& Refresher() { return *refresher_; }

    // A board read from a page file starts without text: the file holds every text it had.
    void Loading() override;

private:
    std::unique_ptr<Tdatarefresh> refresher_;
    int datainterface_ = datafromEditor;
    int dataRefreshTime_ = kDefaultDataRefreshTime;
    std::string textFileName_;
    std::string exeFileName_;
};

}  // namespace zl
