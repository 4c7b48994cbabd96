#pragma once
#include <functional>
#include <string>
#include <vector>

#include "core/pagetext/tree.h"
#include "core/props/component.h"

// The typed layer between published property tables and the generic page text tree.
namespace zl {

// Appends the stored properties of `object` (published ones, then extras) with the path prefix.
void WriteProperties(Persistent& object, const std::string& prefix, std::vector<pagetext::Property>& out);

// How the reader resolves what the tree names by identifier.
struct ReadContext {
    // Handler names an event may be bound to (the page class's published handlers).
    std::vector<std::string> handlers;
};

// Sets one property by its dotted path; fails with "Property %s does not exist" or
// "Invalid property value".
void ReadProperty(Persistent& object, const pagetext::Property& property, const ReadContext& context);

}  // namespace zl
