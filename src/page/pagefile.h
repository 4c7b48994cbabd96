#pragma once
#include <cstdint>
#include <filesystem>

#include "core/pagetext/tree.h"
#include "page/frmzorledform.h"

namespace zl {

// The page window and its widgets as a page text tree, and back.
pagetext::Object PageToTree(TFrmZorLedForm& page);
// Properties in file order; unknown classes, properties and duplicate names fail with the
// framework's messages. What was read before a failure stays.
void TreeToPage(const pagetext::Object& root, TFrmZorLedForm& page);

// One widget and those it holds, as the page file writes it.
pagetext::Object WidgetToTree(const TFrmZorLedForm& page, Control& widget);
// Reads the child blocks of `holder` as new widgets of the page inside `container`, each with
// its end-of-loading call; returns every component read, in order.
std::vector<Component*> ReadWidgets(const pagetext::Object& holder, QWidget* container, TFrmZorLedForm& page);

// Page text written atomically: a failed save leaves the previous file whole.
void SavePageFile(TFrmZorLedForm& page, const std::filesystem::path& path);
// Redrawing is suspended while reading and resumed also when reading fails. A page whose
// surface would pass kMaxPageSurfaceBytes is refused with a message naming its size.
// With `show` false the page stays unshown (and unfaded) for the caller to show when it is ready.
void LoadPageFile(TFrmZorLedForm& page, const std::filesystem::path& path, bool show = true);

constexpr std::int64_t kMaxPageSurfaceBytes = std::int64_t{256} << 20;
std::int64_t PageSurfaceBytes(int clientWidth, int clientHeight);
void CheckPageSurface(int clientWidth, int clientHeight);

std::string UnitSourceText(const TFrmZorLedForm& page, const std::string& unitName);
void WriteUnitSource(const TFrmZorLedForm& page, const std::filesystem::path& path);

}  // namespace zl
