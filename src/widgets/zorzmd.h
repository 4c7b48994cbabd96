#pragma once
#include "widgets/datarefresh.h"
#include "widgets/zmd.h"

namespace zl {

// The marquee fed by a data refresher: its text can come from a text file or a data module.
class Tzorzmd : public Tzmd, public DataFed {
    Q_OBJECT
public:
    explicit Tzorzmd(Component* owner, QWidget* parent = nullptr);
    static const ClassInfo& StaticClass();
    const ClassInfo& Class() const override { return StaticClass(); }

    // The refresher's reader: the file's lines as comma text become the running text; a file
    // that does not exist changes nothing.
    void LoadRunningCaption(const std::string& fileName);
    const StringList& DataLines() const { return lines_; }

private:
    StringList lines_;
};

}  // namespace zl
