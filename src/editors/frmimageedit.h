#pragma once
#include "editors/propertydialog.h"
#include "widgets/zorledimage.h"

class QCheckBox;

namespace zl {

class TFrameRange;
class TFramenamecolor;

// The image's dialog: bounds, picture, transparency and stretching.
class TFrmimageEdit : public TPropertyDialog {
    Q_OBJECT
public:
    TFrmimageEdit();

    void BindControl(Tzorledimage& image);
    Tzorledimage* Target() const { return target_.Get(); }

    TFramenamecolor* Framenamecolor1;
    TFrameRange* FrameRange1;
    QPushButton* BitBtnselectGraph;
    QCheckBox* CheckBoxtransparent;
    QCheckBox* CheckBoxstretch;

    // Loads the chosen file into the picture; a file that cannot be loaded fails and the
    // previous picture stays.
    void BitBtnselectGraphClick();
    void CheckBoxtransparentClick();
    void CheckBoxstretchClick();

private:
    TargetRef<Tzorledimage> target_;
};

void ShowImageEdit(Tzorledimage& image);

}  // namespace zl
