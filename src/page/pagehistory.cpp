#include "page/pagehistory.h"

#include <QPointer>
#include <algorithm>

#include "core/pagetext/parser.h"
#include "core/pagetext/writer.h"
#include "page/frmzorledform.h"
#include "page/pagefile.h"
#include "qtbase/application.h"
#include "widgets/refreshing.h"

namespace zl {
namespace {

class PageStep : public QUndoCommand {
public:
    PageStep(TPageHistory& history, const QString& caption, PageState before, PageState after)
        : QUndoCommand(caption), history_(history), before_(std::move(before)), after_(std::move(after)) {}
    void undo() override { Guarded([this] { history_.Apply(after_, before_); }); }
    void redo() override {
        // The change itself has been made already when the step is pushed.
        if (first_) {
            first_ = false;
            return;
        }
        Guarded([this] { history_.Apply(before_, after_); });
    }

private:
    TPageHistory& history_;
    PageState before_, after_;
    bool first_ = true;
};

class PageValuesStep : public QUndoCommand {
public:
    PageValuesStep(TPageHistory& history, const QString& caption, PropertyValues before, PropertyValues after)
        : QUndoCommand(caption), history_(history), before_(std::move(before)), after_(std::move(after)) {}
    void undo() override { Guarded([this] { history_.ApplyPage(before_); }); }
    void redo() override {
        if (first_) {
            first_ = false;
            return;
        }
        Guarded([this] { history_.ApplyPage(after_); });
    }

private:
    TPageHistory& history_;
    PropertyValues before_, after_;
    bool first_ = true;
};

bool Holds(const Control* holder, const Control* widget) {
    for (const QWidget* w = widget->Widget()->parentWidget(); w; w = w->parentWidget())
        if (w == holder->Widget()) return true;
    return false;
}

int IndexOf(const TFrmZorLedForm& page, const Component* c) {
    const auto& list = page.Components();
    return static_cast<int>(std::find(list.begin(), list.end(), c) - list.begin());
}

void CollectOrder(const TFrmZorLedForm& page, Control& widget, WidgetState& state) {
    state.order.emplace_back(widget.Name(), IndexOf(page, &widget));
    if (widget.IsWindowed())
        for (Control* child : page.ControlsIn(widget.Widget())) CollectOrder(page, *child, state);
}

}  // namespace

TPageHistory::TPageHistory(TFrmZorLedForm& page) : page_(page) {}
TPageHistory::~TPageHistory() = default;

PageState TPageHistory::Take(const std::vector<Control*>& widgets) const {
    PageState out;
    for (Control* w : widgets) {
        if (!w || std::any_of(widgets.begin(), widgets.end(), [&](Control* h) { return h && h != w && Holds(h, w); }))
            continue;
        if (std::any_of(out.begin(), out.end(), [&](const WidgetState& s) { return s.name == w->Name(); })) continue;
        WidgetState state;
        state.name = w->Name();
        if (Control* holder = Control::Of(w->Widget()->parentWidget())) state.container = holder->Name();
        state.text = pagetext::Write(WidgetToTree(page_, *w));
        CollectOrder(page_, *w, state);
        out.push_back(std::move(state));
    }
    return out;
}

PageState TPageHistory::Again(const PageState& state) const { return Take(WidgetsNamed(page_, state)); }

void TPageHistory::Record(const QString& caption, PageState before, PageState after) {
    auto same = [](const PageState& a, const PageState& b) {
        if (a.size() != b.size()) return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (a[i].name != b[i].name || a[i].text != b[i].text || a[i].container != b[i].container ||
                a[i].order != b[i].order)
                return false;
        return true;
    };
    if (same(before, after)) return;
    stack_.push(new PageStep(*this, caption, std::move(before), std::move(after)));
}

PropertyValues TPageHistory::TakePage() const { return TakeValues(page_); }

void TPageHistory::RecordPage(const QString& caption, PropertyValues before, PropertyValues after) {
    if (before.size() == after.size() &&
        std::equal(before.begin(), before.end(), after.begin(),
                   [](const auto& a, const auto& b) { return a.first == b.first && SameValue(a.second, b.second); }))
        return;
    stack_.push(new PageValuesStep(*this, caption, std::move(before), std::move(after)));
}

void TPageHistory::ApplyPage(const PropertyValues& values) {
    RestoreValues(page_, values);
    page_.Changed();
}

void TPageHistory::Begin(const std::vector<Control*>& widgets, const QString& caption) {
    if (depth_++ > 0) return;
    begun_ = Take(widgets);
    caption_ = caption;
}

void TPageHistory::End() {
    if (depth_ == 0 || --depth_ > 0) return;
    PageState before = std::move(begun_);
    begun_.clear();
    Record(caption_, before, Again(before));
}

void TPageHistory::Apply(const PageState& remove, const PageState& build) {
    if (page_.Selection) page_.Selection->Clear();
    std::vector<QPointer<QWidget>> doomed;
    for (Control* c : WidgetsNamed(page_, remove)) doomed.emplace_back(c->Widget());
    for (const auto& w : doomed) delete w.data();

    std::vector<Control*> rebuilt;
    std::vector<std::pair<int, Component*>> places;
    for (const WidgetState& state : build) {
        QWidget* container = &page_;
        if (!state.container.empty())
            if (auto* holder = dynamic_cast<Control*>(page_.FindComponent(state.container))) container = holder->Widget();
        pagetext::Object holder;
        holder.children.push_back(pagetext::Parse(state.text));
        for (Component* c : ReadWidgets(holder, container, page_)) {
            auto* control = dynamic_cast<Control*>(c);
            if (!control) continue;
            page_.HookWidget(control);
            if (auto* r = dynamic_cast<RefreshingWidget*>(control)) r->StopRefresh();
            if (c->Name() == state.name) rebuilt.push_back(control);
        }
        for (const auto& [name, index] : state.order)
            if (Component* c = page_.FindComponent(name)) places.emplace_back(index, c);
    }
    // Ascending places: each insertion leaves the others' relative order, which is the old one.
    std::sort(places.begin(), places.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<Component*> order;
    for (Component* c : page_.Components())
        if (std::none_of(places.begin(), places.end(), [c](const auto& p) { return p.second == c; })) order.push_back(c);
    for (const auto& [index, c] : places)
        order.insert(order.begin() + std::clamp(index, 0, static_cast<int>(order.size())), c);
    // The owner's list only appends: the components from the first one out of place go to the end again.
    const auto& now = page_.Components();
    size_t first = 0;
    while (first < order.size() && first < now.size() && now[first] == order[first]) ++first;
    for (size_t i = first; i < order.size(); ++i) {
        order[i]->ChangeOwner(nullptr);
        order[i]->ChangeOwner(&page_);
    }
    // Drawn widgets paint in their sibling order, which follows the component order.
    for (const auto& [index, c] : places) {
        auto* control = dynamic_cast<Control*>(c);
        if (!control || control->IsWindowed()) continue;
        const auto siblings = page_.ControlsIn(control->Widget()->parentWidget());
        const auto it = std::find(siblings.begin(), siblings.end(), control);
        if (it != siblings.end() && std::next(it) != siblings.end())
            control->Widget()->stackUnder((*std::next(it))->Widget());
    }
    page_.Restack();
    if (page_.Selection) page_.Selection->SelectWidgets(rebuilt);
}

std::vector<Control*> WidgetsNamed(const TFrmZorLedForm& page, const PageState& state) {
    std::vector<Control*> out;
    for (const WidgetState& s : state)
        if (auto* c = dynamic_cast<Control*>(page.FindComponent(s.name))) out.push_back(c);
    return out;
}

}  // namespace zl
