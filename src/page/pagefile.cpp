#include "page/pagefile.h"

#include <QCoreApplication>
#include <QEvent>
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

pagetext::Object ComponentNode(Component& component) {
    pagetext::Object node;
    node.name = component.Name();
    node.className = std::string(component.Class().name);
    WriteProperties(component, "", node.properties);
    return node;
}

// A widget that holds widgets (a clock is a panel) writes them nested in its own block.
pagetext::Object ComponentToTree(const TFrmZorLedForm& page, Control& control) {
    pagetext::Object node = ComponentNode(control);
    if (control.IsWindowed())
        for (Control* child : page.ControlsIn(control.Widget())) node.children.push_back(ComponentToTree(page, *child));
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

// A report of reading names the file read, unless its text already does.
std::string NamingPageFile(const std::string& message, const std::filesystem::path& path) {
    if (message.find(path.string()) != std::string::npos) return message;
    return message + " (page file \"" + path.string() + "\")";
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
    for (Control* child : page.ChildControls()) root.children.push_back(ComponentToTree(page, *child));
    // Non-visual components (a data refresher read from a file) follow the widgets.
    for (Component* c : page.Components())
        if (!dynamic_cast<Control*>(c)) root.children.push_back(ComponentNode(*c));
    return root;
}

namespace {

// Child blocks become widgets owned by the page. A widget nested in one that holds widgets (a
// clock) stays inside it; one nested in a drawn widget, which holds none, lands on the page
// after its holder.
void ReadChildren(const pagetext::Object& node, QWidget* container, TFrmZorLedForm& page,
                  const ReadContext& context, std::vector<Component*>& read) {
    for (const auto& child : node.children) {
        const ClassInfo* info = FindClass(child.className);
        if (!info || !info->create) throw Error(Format("Class %s not found", child.className.c_str()));
        if (page.FindComponent(child.name))
            throw Error(Format("A component named %s already exists", child.name.c_str()));
        Component* component = info->create(&page);
        auto* control = dynamic_cast<Control*>(component);
        if (control) control->Widget()->setParent(container);
        component->SetName(child.name);
        component->BeginLoad();
        read.push_back(component);
        if (control) control->Widget()->show();
        ReadProperties(*component, child, context);
        ReadChildren(child, control && control->IsWindowed() ? control->Widget() : container, page, context, read);
    }
}

}  // namespace

pagetext::Object WidgetToTree(const TFrmZorLedForm& page, Control& widget) { return ComponentToTree(page, widget); }

std::vector<Component*> ReadWidgets(const pagetext::Object& holder, QWidget* container, TFrmZorLedForm& page) {
    ReadContext context;
    context.handlers = page.PublishedHandlers();
    std::vector<Component*> read;
    struct LoadedCalls {
        std::vector<Component*>& list;
        ~LoadedCalls() {
            for (Component* c : list) c->EndLoad();
        }
    } loaded{read};
    ReadChildren(holder, container, page, context, read);
    return read;
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
    // The window being read does not count against its own root name: a file opened and saved
    // keeps the name its unit source declares.
    page.SetName("");
    page.SetName(UniqueRootName(root.name));
    ReadProperties(page, root, context);
    ReadChildren(root, &page, page, context, read);
    page.Restack();
}

void SavePageFile(TFrmZorLedForm& page, const std::filesystem::path& path) {
    WriteFileAtomic(path, pagetext::Write(PageToTree(page)));
    page.File = path;
}

namespace {

// Each widget placed on the page and the page shown again post a polish and an update request
// per widget. Served here in one pass each: left queued, every widget freed later would search
// the whole queue, which makes a large page quadratic to close.
void ServeWidgetRequests() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::PolishRequest);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateLater);
}

}  // namespace

void LoadPageFile(TFrmZorLedForm& page, const std::filesystem::path& path, bool show) {
    const int clientWidth = page.ClientWidth(), clientHeight = page.ClientHeight();
    // Hidden while its widgets are placed: each one shown on a visible page would be queued
    // for drawing, one by one.
    const bool wasShown = page.isVisible();
    page.hide();
    page.setUpdatesEnabled(false);
    page.File = path;
    try {
        try {
            const std::string text = ReadWholeFile(path);
            TreeToPage(pagetext::Parse(text), page);
            CheckPageSurface(page.ClientWidth(), page.ClientHeight());
        } catch (const std::exception& e) {
            throw Error(NamingPageFile(e.what(), path));
        }
    } catch (...) {
        // Whatever was read stays, but never a surface too large to draw.
        if (PageSurfaceBytes(page.ClientWidth(), page.ClientHeight()) > kMaxPageSurfaceBytes) {
            page.SetClientWidth(clientWidth);
            page.SetClientHeight(clientHeight);
        }
        page.setUpdatesEnabled(true);
        if (wasShown) page.show();
        ServeWidgetRequests();
        throw;
    }
    page.setUpdatesEnabled(true);
    if (!show) {
        ServeWidgetRequests();
        return;
    }
    // Shown again with a short fade-in where the window system can blend windows; a page read
    // hidden is visible afterwards and says so when saved.
    page.SetVisible(false);
    page.SetVisible(true);
    ServeWidgetRequests();
    if (QGuiApplication::platformName() == "offscreen") return;
    page.setWindowOpacity(0.0);
    auto* fade = new QPropertyAnimation(&page, "windowOpacity", &page);
    fade->setDuration(200);
    fade->setStartValue(0.0);
    fade->setEndValue(1.0);
    fade->start(QAbstractAnimation::DeleteWhenStopped);
}

std::int64_t PageSurfaceBytes(int clientWidth, int clientHeight) {
    // The window system keeps one 32-bit pixel per client pixel for a shown page.
    return std::int64_t{std::max(clientWidth, 0)} * std::max(clientHeight, 0) * 4;
}

void CheckPageSurface(int clientWidth, int clientHeight) {
    const std::int64_t bytes = PageSurfaceBytes(clientWidth, clientHeight);
    if (bytes <= kMaxPageSurfaceBytes) return;
    throw Error(Format("Page of %d x %d pixels is too large to show: it needs %lld MB, at most %lld MB are allowed",
                       clientWidth, clientHeight, static_cast<long long>((bytes + (1 << 20) - 1) >> 20),
                       static_cast<long long>(kMaxPageSurfaceBytes >> 20)));
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
    for (Control* c : page.AllWidgets()) line(c->Name() + ": " + std::string(c->Class().name) + ";");
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
