#pragma once
#include <string>
#include <utility>
#include <vector>

#include "core/props/propinfo.h"

// Published properties as dotted paths ("Text.Font.Name"), for editing and undo by value.
namespace zl {

struct PropertyPath {
    std::string path;      // as the page file names it, nested objects joined by "."
    const PropInfo* info;
    Persistent* owner;     // the object the property belongs to
    int depth;             // 0 for the object's own properties
};

// Every published property of `object`, base class first, each nested object followed by its
// own. Collection items are not entered: they are objects of another kind, created per item.
std::vector<PropertyPath> PropertyPaths(Persistent& object);

// The value a property shows: the getter's, or an event's bound handler. Object and collection
// rows carry none.
PropValue ShownValue(const PropertyPath& row);
bool SameValue(const PropValue& a, const PropValue& b);

// The property at a dotted path and the object it belongs to; null when no such property.
std::pair<const PropInfo*, Persistent*> FindPath(Persistent& object, std::string_view path);

// Every value a setter can take back, so an object that cannot be made afresh can be restored.
using PropertyValues = std::vector<std::pair<std::string, PropValue>>;
PropertyValues TakeValues(Persistent& object);
// Sets the values that differ. A setter may change others (a font clears ParentFont), so the
// rest is compared again until everything holds or nothing more changes.
void RestoreValues(Persistent& object, const PropertyValues& values);

}  // namespace zl
