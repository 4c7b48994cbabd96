#pragma once
#include <filesystem>
#include <functional>
#include <string>

#include "core/textlist.h"

class QMenu;

// Menu plug-ins: found, described, put in the menu, run.
namespace zl {

// Adds the names (GBK, without folder) of the plain files in the folder whose names end in
// ".dll" in any case or in ".so", in name order; folders and hidden files are left out.
void ScanPlugins(const std::filesystem::path& folder, StringList& list);

// Takes the text a plug-in put into a text slot: a copy of a constant, else the text itself,
// releasing the slot's reference (freed when none is left). Empties the slot.
std::string TakeSlotText(char*& slot);

// The library's description (GBK), empty when it does not load or has no DescribePlugin; the
// library is released whatever happened.
std::string DescribePluginOf(const std::string& fileName);

// One menu command per described library: named "Zorpluginitem" + (i + 1) and tagged i for
// the library at position i, so undescribed libraries leave gaps in the numbering.
void BuildPluginMenu(QMenu& parent, const StringList& list, const std::function<void(int tag)>& onClick);

// Calls the library's PluginExec when it has one, releasing the library whatever happened.
void RunPlugin(const std::string& fileName);

}  // namespace zl
