#include "page/pageclipboard.h"

#include <QPointer>
#include <functional>

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
        throw Error(Format("找不到部件类 %s", node.className.c_str()));
    for (const auto& child : node.children) CheckClasses(child);
}

void Rename(TFrmZorLedForm& page, pagetext::Object& node, std::vector<std::string>& names) {
    node.name = NewWidgetName(page, node.className);
    names.push_back(node.name);
    for (auto& child : node.children) Rename(page, child, names);
}

void Offset(pagetext::Object& node, const char* path, int by) {
    for (auto& p : node.properties)
        if (p.path == path)
            if (auto* v = p.value.If<pagetext::IntegerValue>()) {
                v->value += by;
                return;
            }
    node.properties.push_back({path, pagetext::Value::Integer(by), 0});
}

std::size_t CountWidgets(const pagetext::Object& node) {
    std::size_t n = 1;
    for (const auto& child : node.children) n += CountWidgets(child);
    return n;
}

bool Blank(const std::string& text) {
    return text.find_first_not_of(" \t\r\n") == std::string::npos;
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

std::vector<Control*> PasteText(TFrmZorLedForm& page, const std::string& text,
                                const std::function<bool(std::size_t)>& confirmMany) {
    if (Blank(text)) throw Error("剪贴板是空的，没有可粘贴的部件");
    pagetext::Object root;
    try {
        root = pagetext::Parse(text);
    } catch (const std::exception&) {
        throw Error("未粘贴：剪贴板中的内容不是页面文本，只能粘贴从页面复制的部件");
    }
    pagetext::Object holder;
    // A single widget block counts as well as a page block holding widgets.
    if (IsWidgetClass(root.className)) holder.children.push_back(std::move(root));
    else holder.children = std::move(root.children);
    if (holder.children.empty()) throw Error("未粘贴：剪贴板中的页面文本不含部件");
    try {
        for (const auto& child : holder.children) CheckClasses(child);
    } catch (const std::exception& e) {
        throw Error(Format("未粘贴：%s", e.what()));
    }
    std::size_t count = 0;
    for (const auto& child : holder.children) count += CountWidgets(child);
    if (count > kAskBeforePasting && confirmMany && !confirmMany(count)) return {};
    // The same clipboard pasted again lands another 10 px right and below, not on the last copy.
    const std::size_t key = std::hash<std::string>{}(text);
    page.PasteRepeat = key == page.PasteKey ? page.PasteRepeat + 1 : 1;
    page.PasteKey = key;
    std::vector<std::string> names;
    for (auto& child : holder.children) {
        Rename(page, child, names);
        Offset(child, "Left", 10 * page.PasteRepeat);
        Offset(child, "Top", 10 * page.PasteRepeat);
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
        throw Error(Format("未粘贴：页面文本有误（%s）", e.what()));
    }
    page.StopWidgets();
    page.Restack();
    if (page.Selection) page.Selection->SelectWidgets(pasted);
    page.History->Record(QString::fromUtf8("粘贴"), {}, page.History->Take(pasted));
    return pasted;
}

}  // namespace zl
