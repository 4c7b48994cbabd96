#pragma once
#include <QString>
#include <QUndoStack>
#include <string>
#include <vector>

#include "core/props/propertypaths.h"

namespace zl {

class Control;
class TFrmZorLedForm;

// One widget as a step keeps it: its page text (with the widgets it holds), the widget that
// holds it and the place of it and each held widget in the page's component order.
struct WidgetState {
    std::string name;
    std::string container;  // name of the holding widget; empty: the page
    std::string text;       // page text, as a page file writes the widget
    std::vector<std::pair<std::string, int>> order;
};
using PageState = std::vector<WidgetState>;

// The designer's undo history of one page. Every change is one step holding the page text of the
// widgets it touched before and after; undo and redo delete those widgets and rebuild each from a
// fresh instance read from the text, at its old place, since page text leaves defaults out.
//
// Recording a change made elsewhere (a property panel, a dialog):
//   PageState before = history.Take({widget});      ... change the widget ...
//   history.Record("属性", before, history.Take({widget}));
// or, around a live edit that sets values many times:
//   history.Begin({widget}, "属性");  ... setters ...  history.End();
// A step whose texts are equal is dropped. Widgets created by the change appear only in `after`,
// deleted ones only in `before`.
class TPageHistory {
public:
    explicit TPageHistory(TFrmZorLedForm& page);
    ~TPageHistory();

    QUndoStack& Stack() { return stack_; }
    // State of the widgets; one held by another in the list is kept with its holder only.
    PageState Take(const std::vector<Control*>& widgets) const;
    // The present state of the widgets named in `state` (those still on the page).
    PageState Again(const PageState& state) const;
    void Record(const QString& caption, PageState before, PageState after);

    // A live edit: one step from Begin to End however many values changed. Nested pairs count once.
    void Begin(const std::vector<Control*>& widgets, const QString& caption);
    void End();
    bool Editing() const { return depth_ > 0; }

    // A change of the page's own values. The page window cannot be made afresh, so undo and redo
    // set its values back through the setters instead of rebuilding it.
    PropertyValues TakePage() const;
    void RecordPage(const QString& caption, PropertyValues before, PropertyValues after);
    void ApplyPage(const PropertyValues& values);
    // A move of the page window; the moves of one drag, reported within a second of each other,
    // are one step.
    void RecordPageMove(PropertyValues before, PropertyValues after);

    // Replaces the widgets of `remove` by those of `build` (names of the page); the rebuilt widgets
    // end up selected. Used by undo and redo.
    void Apply(const PageState& remove, const PageState& build);

private:
    TFrmZorLedForm& page_;
    QUndoStack stack_;
    int depth_ = 0;
    PageState begun_;
    QString caption_;
};

// The widgets of the page named in the state, skipping those gone.
std::vector<Control*> WidgetsNamed(const TFrmZorLedForm& page, const PageState& state);

}  // namespace zl
