#pragma once
#include <string>

#include "aatext/scrolltext.h"
#include "widgets/datarefresh.h"

namespace zl {

// The scroll-text board: the scrolling text control fed by a data refresher.
class TzorScrollText : public TSmoothScrollText, public DataFed {
    Q_OBJECT
public:
    explicit TzorScrollText(Component* owner, QWidget* parent = nullptr);
    static const ClassInfo& StaticClass();
    const ClassInfo& Class() const override { return StaticClass(); }

    // Replaces the lines by the file's lines as one change, so the text is laid out again and
    // starts from the top, also when the file did not change. No file: nothing changes. Lines
    // that fail to draw give way to the text that was shown, and are not tried again.
    void LoadBoardText(const std::string& fileName);

    // A board read from a page file starts without text: the file holds every text it had.
    void Loading() override;

private:
    size_t refused_ = 0;  // hash of the lines last refused, 0 for none
};

}  // namespace zl
