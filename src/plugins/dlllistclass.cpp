#include "plugins/dlllistclass.h"

#include "core/atomicfile.h"
#include "core/codepage.h"
#include "core/home.h"
#include "core/pagetext/parser.h"
#include "core/props/propinfo.h"
#include "plugins/modulerunner.h"

namespace zl {

Tdlllistclass::Tdlllistclass(std::function<std::filesystem::path(const std::string&)> pageFile)
    : pageFile_(std::move(pageFile)) {}

void Tdlllistclass::CollectFrom(const pagetext::Object& object) {
    for (const auto& property : object.properties) {
        if (!EqualsIgnoreCase(property.path, "ExeFileName")) continue;
        const auto* text = property.value.If<pagetext::StringValue>();
        if (!text || text->text.empty()) continue;
        ModuleList.push_back(Utf16ToGbk(text->text));
    }
    for (const auto& child : object.children) CollectFrom(child);
}

void Tdlllistclass::CollectDataModules() {
    if (!PageList) return;
    ModuleList.clear();
    for (const std::string& page : *PageList) {
        const auto file = FindFileCaseInsensitive(pageFile_(page));
        std::error_code ec;
        if (!file || std::filesystem::is_directory(*file, ec)) continue;
        // What parsed before an error still names modules; the page itself fails when shown.
        pagetext::Object root;
        try {
            pagetext::ParseInto(ReadWholeFile(*file), root);
        } catch (const std::exception&) {
        }
        CollectFrom(root);
    }
}

void Tdlllistclass::InitDataModules() {
    ModuleRunner::Instance().Start(ModuleList);
}

void Tdlllistclass::UnInitDataModules() {
    ModuleRunner::Instance().Stop();
}

}  // namespace zl
