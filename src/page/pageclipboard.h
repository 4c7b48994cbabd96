#pragma once
#include <string>
#include <vector>

namespace zl {

class Control;
class TFrmZorLedForm;

// MIME type of the designer's own clipboard entry: the page text bytes as a page file holds them.
inline constexpr const char* kPageTextMime = "application/x-zorled-page-text";

// The selected widgets (each with the widgets it holds) as page text: a page block holding them.
// Empty when nothing is selected.
std::string SelectionText(TFrmZorLedForm& page);

// Adds the widgets of the page text to the page as one undoable step: each named as the widget
// factory would name a new one of its kind, placed 10 px right of and below where it was, and
// selected. Text that is not page text, or holds no widgets, fails with a message and leaves the
// page as it was.
std::vector<Control*> PasteText(TFrmZorLedForm& page, const std::string& text);

}  // namespace zl
