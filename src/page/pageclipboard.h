#pragma once
#include <cstddef>
#include <functional>
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
// selected; the same text pasted again lands a further 10 px on. Text that is not page text, or
// holds no widgets, fails with a message and leaves the page as it was. Above
// kAskBeforePasting widgets, `confirmMany` is asked first; declined, nothing is pasted.
inline constexpr std::size_t kAskBeforePasting = 10000;
std::vector<Control*> PasteText(TFrmZorLedForm& page, const std::string& text,
                                const std::function<bool(std::size_t)>& confirmMany = {});

}  // namespace zl
