#include "page/pagefile.h"

#include <QGuiApplication>
#include <QPropertyAnimation>

#include "core/atomicfile.h"
#include "core/codepage.h"
#include "core/error.h"
#include "core/pagetext/parser.h"
#include "core/pagetext/writer.h"
#include "core/props/streaming.h"

namespace zl {
namespace {

pagetext::Object ComponentToTree(Component& component) {
    pagetext::Object node;
    node.name = component.Name();
    node.className = std::string(component.Class().name);
    WriteProperties(component, "", node.properties);
    return node;
}

void ReadProperties(Component& component, const pagetext::Object& node, const ReadContext& context) {
    for (const auto& property : node.properties) {
        try {
            ReadProperty(component, property, context);
        } catch (const std::exception& e) {
            throw Error(Format("Error reading %s%s%s: %s", component.Name().c_str(), ".", property.path.c_str(), e.what()));
        }
    }
}

std::string UniqueRootName(const std::string& name) {
    if (!TopLevelNameExists(name)) return name;
    for (int i = 1;; ++i) {
        const std::string candidate = name + "_" + std::to_string(i);
        if (!TopLevelNameExists(candidate)) return candidate;
    }
}

}  // namespace

pagetext::Object PageToTree(TFrmZorLedForm& page) {
    pagetext::Object root;
    root.name = page.Name();
    root.className = "TFrmZorLedForm";
    WriteProperties(page, "", root.properties);
    for (Control* child : page.ChildControls()) root.children.push_back(ComponentToTree(*child));
    // Non-visual components (a data refresher read from a file) follow the widgets.
    for (Component* c : page.Components())
        if (!dynamic_cast<Control*>(c)) root.children.push_back(ComponentToTree(*c));
    return root;
}

void TreeToPage(const pagetext::Object& root, TFrmZorLedForm& page) {
    ReadContext context;
    context.handlers = page.PublishedHandlers();
    std::vector<Component*> read{&page};
    // Every component read gets its end-of-loading call, also when reading stops early.
    struct LoadedCalls {
        std::vector<Component*>& list;
        ~LoadedCalls() {
            for (Component* c : list) c->EndLoad();
        }
    } loaded{read};

    page.BeginLoad();
    page.SetName(UniqueRootName(root.name));
    ReadProperties(page, root, context);
    for (const auto& node : root.children) {
        const ClassInfo* info = FindClass(node.className);
        if (!info || !info->create) throw Error(Format("Class %s not found", node.className.c_str()));
        if (page.FindComponent(node.name))
            throw Error(Format("A component named %s already exists", node.name.c_str()));
        Component* component = info->create(&page);
        auto* control = dynamic_cast<Control*>(component);
        if (control) control->Widget()->setParent(&page);
        component->SetName(node.name);
        component->BeginLoad();
        read.push_back(component);
        if (control) control->Widget()->show();
        ReadProperties(*component, node, context);
    }
    page.Restack();
}

void SavePageFile(TFrmZorLedForm& page, const std::filesystem::path& path) {
    WriteFileAtomic(path, pagetext::Write(PageToTree(page)));
}

void LoadPageFile(TFrmZorLedForm& page, const std::filesystem::path& path) {
    page.setUpdatesEnabled(false);
    try {
        const std::string text = ReadWholeFile(path);
        TreeToPage(pagetext::Parse(text), page);
    } catch (...) {
        page.setUpdatesEnabled(true);
        throw;
    }
    page.setUpdatesEnabled(true);
    // Shown again with a short fade-in where the window system can blend windows.
    page.hide();
    page.show();
    if (QGuiApplication::platformName() == "offscreen") return;
    page.setWindowOpacity(0.0);
    auto* fade = new QPropertyAnimation(&page, "windowOpacity", &page);
    fade->setDuration(200);
    fade->setStartValue(0.0);
    fade->setEndValue(1.0);
    fade->start(QAbstractAnimation::DeleteWhenStopped);
}

std::string UnitSourceText(const TFrmZorLedForm& page, const std::string& unitName) {
    std::string out;
    auto line = [&](const std::string& s) { out += s + "\r\n"; };
    line("unit " + unitName + ";");
    line("");
    line("interface");
    line("");
    line("uses");
    line("  Windows, Messages, SysUtils, Variants, Classes, ");
    line(" Graphics, Controls, Forms, Dialogs,UZorledForm,");
    line(" uzmd, uzorledclock, uzorledlabel,");
    line(" uzorledscrolltext, uzorledimage, uzorledzmd;");
    line("");
    line("type");
    line("  TFrmZorLedForm = class(TZorLedForm)");
    for (Control* c : page.ChildControls()) line(c->Name() + ": " + std::string(c->Class().name) + ";");
    line("  private");
    line("    { Private declarations }");
    line("  public");
    line("    { Public declarations }");
    line("  end;");
    line("   var");
    line("  LedDesignWin: TFrmZorLedForm;");
    line("");
    line("implementation");
    line("");
    line("{$R *.dfm}");
    line("");
    line("end.");
    return out;
}

void WriteUnitSource(const TFrmZorLedForm& page, const std::filesystem::path& path) {
    // The unit name comes from the file name and may hold Chinese characters: stored in GBK.
    WriteFileAtomic(path, UnitSourceText(page, Utf8ToGbk(path.stem().string())));
}

}  // namespace zl
