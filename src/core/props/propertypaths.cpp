#include "core/props/propertypaths.h"

#include "core/props/component.h"

namespace zl {
namespace {

void Collect(Persistent& object, const std::string& prefix, int depth, std::vector<PropertyPath>& out) {
    for (const PropInfo* p : object.Class().AllProps()) {
        const std::string path = prefix + std::string(p->name);
        out.push_back({path, p, &object, depth});
        if (p->kind == PropKind::Object && p->object) Collect(*p->object(object), path + ".", depth + 1, out);
    }
}

bool Settable(const PropInfo& p) {
    return p.get && p.set && p.kind != PropKind::Object && p.kind != PropKind::Collection &&
           p.kind != PropKind::Event && p.kind != PropKind::Binary && p.kind != PropKind::Reference;
}

}  // namespace

std::vector<PropertyPath> PropertyPaths(Persistent& object) {
    std::vector<PropertyPath> out;
    Collect(object, "", 0, out);
    return out;
}

PropValue ShownValue(const PropertyPath& row) {
    const PropInfo& p = *row.info;
    if (p.kind == PropKind::Object || p.kind == PropKind::Collection) return {};
    if (p.kind == PropKind::Event && !p.get) {
        auto* component = dynamic_cast<Component*>(row.owner);
        return PropValue::Str(component ? component->EventHandler(p.name) : std::string());
    }
    return p.get ? p.get(*row.owner) : PropValue{};
}

bool SameValue(const PropValue& a, const PropValue& b) {
    return a.i == b.i && a.f == b.f && a.s == b.s && a.lines == b.lines;
}

std::pair<const PropInfo*, Persistent*> FindPath(Persistent& object, std::string_view path) {
    Persistent* owner = &object;
    for (;;) {
        const size_t dot = path.find('.');
        const PropInfo* info = owner->Class().FindProp(path.substr(0, dot));
        if (!info) return {nullptr, nullptr};
        if (dot == std::string_view::npos) return {info, owner};
        if (info->kind != PropKind::Object || !info->object) return {nullptr, nullptr};
        owner = info->object(*owner);
        path = path.substr(dot + 1);
    }
}

PropertyValues TakeValues(Persistent& object) {
    PropertyValues out;
    for (const PropertyPath& row : PropertyPaths(object))
        if (Settable(*row.info)) out.emplace_back(row.path, row.info->get(*row.owner));
    return out;
}

void RestoreValues(Persistent& object, const PropertyValues& values) {
    // Each pass settles at least the value it sets; a few passes cover any chain of side effects.
    for (size_t pass = 0; pass <= values.size() && pass < 8; ++pass) {
        bool changed = false;
        for (const auto& [path, value] : values) {
            auto [info, owner] = FindPath(object, path);
            if (!info || !Settable(*info) || SameValue(info->get(*owner), value)) continue;
            info->set(*owner, value);
            changed = true;
        }
        if (!changed) return;
    }
}

}  // namespace zl
