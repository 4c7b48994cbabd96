#include "editors/propertyeditors.h"

#include "editors/frmclockedit.h"
#include "editors/frmformedit.h"
#include "editors/frmimageedit.h"
#include "editors/frmlabeledit.h"
#include "editors/frmscrolltextedit.h"
#include "editors/frmzmdedit.h"
#include "page/frmzorledform.h"
#include "qtbase/application.h"
#include "widgets/zorledclock.h"
#include "widgets/zorledscrolltext.h"
#include "widgets/zorledzmd.h"

namespace zl {

void InstallPropertyEditors() {
    EditLabel = [](Tzorledlabel& label) { Guarded([&] { ShowLabelEdit(label); }); };
    EditImage = [](Tzorledimage& image) { Guarded([&] { ShowImageEdit(image); }); };
    EditClock = [](Tzorledclock& clock) { Guarded([&] { ShowClockEdit(clock); }); };
    EditZmd = [](Tzorledzmd& marquee) { Guarded([&] { ShowZmdEdit(marquee); }); };
    EditScrollText = [](TzorledScrollText& board) { Guarded([&] { ShowScrollTextEdit(board); }); };
    TFrmZorLedForm::ShowFormEdit = [](TFrmZorLedForm& page) { Guarded([&] { ShowFormEdit(page); }); };
}

}  // namespace zl
