#pragma once
#include <filesystem>
#include <functional>
#include <string>

#include "core/pagetext/tree.h"
#include "core/textlist.h"

// The data modules of a play run: collected from the pages, initialised at play start and
// uninitialised at play stop.
namespace zl {

class Tdlllistclass {
public:
    // `pageFile` gives the page file of a page name.
    explicit Tdlllistclass(std::function<std::filesystem::path(const std::string& page)> pageFile);

    // Module paths of the run in the order found, once per mention.
    StringList ModuleList;
    // The run's page names; set by the main window before collecting, not owned.
    const StringList* PageList = nullptr;

    // Empties the module list and fills it from the ExeFileName values of every object of every
    // page file of the page list. Missing pages are skipped; a page that does not parse keeps
    // what was found before the error. Empty values name no module.
    void CollectDataModules();
    // Starts the modules' hosts (ModuleRunner) with PluginInit once per mention.
    void InitDataModules();
    // PluginUnInit once per mention, then the hosts end.
    void UnInitDataModules();

private:
    void CollectFrom(const pagetext::Object& object);

    std::function<std::filesystem::path(const std::string&)> pageFile_;
};

}  // namespace zl
