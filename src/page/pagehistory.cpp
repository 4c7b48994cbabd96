#include "page/pagehistory.h"

#include <QPointer>
#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "core/clock.h"
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

// Steps of this id follow each other within kMergeMs are one move of the page window: the window
// manager reports a drag as many moves.
constexpr int kPageMoveId = 1;
constexpr LocalMs kMergeMs = 1000;

class PageValuesStep : public QUndoCommand {
public:
    PageValuesStep(TPageHistory& history, const QString& caption, PropertyValues before, PropertyValues after,
                   int id = -1)
        : QUndoCommand(caption), history_(history), before_(std::move(before)), after_(std::move(after)), id_(id),
          at_(Now()) {}
    int id() const override { return id_; }
    bool mergeWith(const QUndoCommand* other) override {
        const auto* next = static_cast<const PageValuesStep*>(other);
        if (other->id() != id_ || next->at_ - at_ > kMergeMs) return false;
        after_ = next->after_;
        at_ = next->at_;
        return true;
    }
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
    int id_;
    LocalMs at_;
    bool first_ = true;
};

// Places in the page's component order, looked up once per state taken rather than per widget.
using ComponentPlaces = std::unordered_map<const Component*, int>;

ComponentPlaces PlacesOf(const TFrmZorLedForm& page) {
    ComponentPlaces places;
    const auto& list = page.Components();
    places.reserve(list.size());
    for (size_t i = 0; i < list.size(); ++i) places.emplace(list[i], static_cast<int>(i));
    return places;
}

void CollectOrder(const TFrmZorLedForm& page, const ComponentPlaces& places, Control& widget, WidgetState& state) {
    const auto it = places.find(&widget);
    state.order.emplace_back(widget.Name(), it == places.end() ? static_cast<int>(places.size()) : it->second);
    if (widget.IsWindowed())
        for (Control* child : page.ControlsIn(widget.Widget())) CollectOrder(page, places, *child, state);
}

// Qt takes a child out of its parent's list at a cost of its place there, except the very first
// child, which goes at once. The designer's own helpers (the band canvas) standing before the
// widgets go on top first, where they draw anyway, so that an undone paste of thousands of
// widgets takes each from the front.
void RaiseHelpers(TFrmZorLedForm& page, const PageState& remove) {
    std::vector<QWidget*> containers;
    std::unordered_set<std::string> seen;
    const std::string* last = nullptr;
    for (const WidgetState& s : remove) {
        // Widgets of one container mostly follow each other.
        if (last && *last == s.container) continue;
        last = &s.container;
        if (!seen.insert(s.container).second) continue;
        // As when rebuilt: a holder not found (the page itself) is the page.
        QWidget* container = &page;
        if (auto* holder = dynamic_cast<Control*>(page.FindComponent(s.container))) container = holder->Widget();
        if (std::find(containers.begin(), containers.end(), container) == containers.end())
            containers.push_back(container);
    }
    // Helpers standing before each container's first widget, by that widget's name.
    std::unordered_map<std::string, std::vector<QWidget*>> helpersBefore;
    for (QWidget* container : containers) {
        std::vector<QWidget*> helpers;
        for (QObject* child : container->children()) {
            auto* w = qobject_cast<QWidget*>(child);
            if (!w) break;
            if (Control* first = Control::Of(w)) {
                if (!helpers.empty()) helpersBefore.emplace(first->Name(), std::move(helpers));
                break;
            }
            helpers.push_back(w);
        }
    }
    for (const WidgetState& s : remove) {
        if (helpersBefore.empty()) break;
        const auto it = helpersBefore.find(s.name);
        if (it == helpersBefore.end()) continue;
        for (QWidget* w : it->second) w->raise();
        helpersBefore.erase(it);
    }
}

// Each widget is looked up right before it goes, in one pass: one that went with its holder is
// simply not found, and thousands of widgets are each visited once, while still in the cache.
void RemoveWidgets(TFrmZorLedForm& page, const PageState& remove) {
    RaiseHelpers(page, remove);
    for (const WidgetState& s : remove)
        if (auto* c = dynamic_cast<Control*>(page.FindComponent(s.name))) delete c->Widget();
}

}  // namespace

TPageHistory::TPageHistory(TFrmZorLedForm& page) : page_(page) {}
TPageHistory::~TPageHistory() = default;

PageState TPageHistory::Take(const std::vector<Control*>& widgets) const {
    PageState out;
    std::unordered_set<const QWidget*> listed;
    for (Control* w : widgets)
        if (w) listed.insert(w->Widget());
    const ComponentPlaces places = PlacesOf(page_);
    std::unordered_set<std::string> taken;
    for (Control* w : widgets) {
        if (!w) continue;
        // A widget held by another one in the list goes with its holder.
        bool held = false;
        for (const QWidget* p = w->Widget()->parentWidget(); p && !held; p = p->parentWidget()) held = listed.count(p) > 0;
        if (held || !taken.insert(w->Name()).second) continue;
        WidgetState state;
        state.name = w->Name();
        if (Control* holder = Control::Of(w->Widget()->parentWidget())) state.container = holder->Name();
        state.text = pagetext::Write(WidgetToTree(page_, *w));
        CollectOrder(page_, places, *w, state);
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

void TPageHistory::RecordPageMove(PropertyValues before, PropertyValues after) {
    stack_.push(new PageValuesStep(*this, QString::fromUtf8("移动页面"), std::move(before), std::move(after), kPageMoveId));
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
    RemoveWidgets(page_, remove);

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
    // Ascending places: each goes to its old index among the others, whose relative order is the
    // old one. One merge, so rebuilding thousands of widgets stays linear.
    std::stable_sort(places.begin(), places.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::unordered_set<const Component*> placed;
    for (const auto& p : places) placed.insert(p.second);
    std::vector<Component*> order;
    order.reserve(page_.Components().size());
    {
        std::vector<Component*> rest;
        for (Component* c : page_.Components())
            if (!placed.count(c)) rest.push_back(c);
        size_t p = 0, r = 0;
        while (p < places.size() || r < rest.size()) {
            if (p < places.size() && (r == rest.size() || places[p].first <= static_cast<int>(order.size())))
                order.push_back(places[p++].second);
            else
                order.push_back(rest[r++]);
        }
    }
    // The owner's list only appends: the components from the first one out of place go to the end again.
    const auto& now = page_.Components();
    size_t first = 0;
    while (first < order.size() && first < now.size() && now[first] == order[first]) ++first;
    for (size_t i = first; i < order.size(); ++i) {
        order[i]->ChangeOwner(nullptr);
        order[i]->ChangeOwner(&page_);
    }
    // Drawn widgets paint in their sibling order, which follows the component order. Each
    // container is checked once; only one out of order is restacked.
    std::unordered_map<QWidget*, std::vector<Control*>> moved;
    for (const auto& [index, c] : places)
        if (auto* control = dynamic_cast<Control*>(c); control && !control->IsWindowed())
            moved[control->Widget()->parentWidget()].push_back(control);
    for (auto& [container, controls] : moved) {
        std::vector<Control*> siblings;
        for (Control* c : page_.ControlsIn(container))
            if (!c->IsWindowed()) siblings.push_back(c);
        std::unordered_map<const QWidget*, int> stackPlace;
        const QObjectList& children = container->children();
        for (int i = 0; i < children.size(); ++i)
            if (children[i]->isWidgetType()) stackPlace.emplace(static_cast<QWidget*>(children[i]), i);
        bool inOrder = true;
        for (size_t i = 1; inOrder && i < siblings.size(); ++i)
            inOrder = stackPlace[siblings[i - 1]->Widget()] < stackPlace[siblings[i]->Widget()];
        if (inOrder) continue;
        std::unordered_map<const Control*, size_t> at;
        for (size_t i = 0; i < siblings.size(); ++i) at.emplace(siblings[i], i);
        for (Control* control : controls) {
            const auto it = at.find(control);
            if (it != at.end() && it->second + 1 < siblings.size())
                control->Widget()->stackUnder(siblings[it->second + 1]->Widget());
        }
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
