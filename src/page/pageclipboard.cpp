#include "page/pageclipboard.h"

#include <QPointer>

#include "core/error.h"
#include "core/pagetext/parser.h"
#include "core/pagetext/writer.h"
#include "page/frmzorledform.h"
#include "page/pagefile.h"

namespace zl {
namespace {

bool IsWidgetClass(const std::string& className) {
    const ClassInfo* info = FindClass(className);
    if (!info || !info->create) return false;
    for (const ClassInfo* c = info; c; c = c->base)
        if (c->name == "TZorLedForm") return false;
    return true;
}

void CheckClasses(const pagetext::Object& node) {
    if (!FindClass(node.className) || !FindClass(node.className)->create)
        throw Error(Format("Class %s not found", node.className.c_str()));
    for (const auto& child : node.children) CheckClasses(child);
}

void Rename(TFrmZorLedForm& page, pagetext::Object& node, std::vector<std::string>& names) {
    node.name = NewWidgetName(page, node.className);
    names.push_back(node.name);
    for (auto& child : node.children) Rename(page, child, names);
}

void Offset(pagetext::Object& node, const char* path) {
    for (auto& p : node.properties)
        if (p.path == path)
            if (auto* v = p.value.If<pagetext::IntegerValue>()) {
                v->value += 10;
                return;
            }
    node.properties.push_back({path, pagetext::Value::Integer(10), 0});
}

}  // namespace

std::string SelectionText(TFrmZorLedForm& page) {
    if (!page.Selection || page.Selection->Count() == 0) return {};
    pagetext::Object root;
    root.name = page.Name();
    root.className = "TFrmZorLedForm";
    for (const WidgetState& state : page.History->Take(page.Selection->Widgets()))
        root.children.push_back(pagetext::Parse(state.text));
    return pagetext::Write(root);
}

std::vector<Control*> PasteText(TFrmZorLedForm& page, const std::string& text) {
    pagetext::Object root;
    try {
        root = pagetext::Parse(text);
    } catch (const std::exception& e) {
        throw Error(Format("Nothing pasted: the clipboard holds no page text (%s)", e.what()));
    }
    pagetext::Object holder;
    // A single widget block counts as well as a page block holding widgets.
    if (IsWidgetClass(root.className)) holder.children.push_back(std::move(root));
    else holder.children = std::move(root.children);
    if (holder.children.empty()) throw Error("Nothing pasted: the clipboard's page text holds no widgets");
    try {
        for (const auto& child : holder.children) CheckClasses(child);
    } catch (const std::exception& e) {
        throw Error(Format("Nothing pasted: %s", e.what()));
    }
    std::vector<std::string> names;
    for (auto& child : holder.children) {
        Rename(page, child, names);
        Offset(child, "Left");
        Offset(child, "Top");
    }
    std::vector<Control*> pasted;
    try {
        for (Component* c : ReadWidgets(holder, &page, page))
            if (auto* control = dynamic_cast<Control*>(c)) {
                page.HookWidget(control);
                if (control->Widget()->parentWidget() == &page) pasted.push_back(control);
            }
    } catch (const std::exception& e) {
        // Whatever was read goes again: a failed paste leaves the page as it was.
        std::vector<QPointer<QWidget>> doomed;
        for (const auto& name : names)
            if (auto* c = dynamic_cast<Control*>(page.FindComponent(name))) doomed.emplace_back(c->Widget());
        for (const auto& w : doomed) delete w.data();
        throw Error(Format("Nothing pasted: %s", e.what()));
    }
    page.StopWidgets();
    page.Restack();
    if (page.Selection) page.Selection->SelectWidgets(pasted);
    page.History->Record(QString::fromUtf8("粘贴"), {}, page.History->Take(pasted));
    return pasted;
}

}  // namespace zl
