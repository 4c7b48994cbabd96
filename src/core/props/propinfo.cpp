#include "core/props/propinfo.h"

#include <algorithm>

namespace zl {

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
               return lower(x) == lower(y);
           });
}

std::optional<std::string_view> NameTable::NameOf(std::int64_t value) const {
    for (const auto& e : entries)
        if (e.value == value) return e.name;
    return std::nullopt;
}

std::optional<std::int64_t> NameTable::ValueOf(std::string_view name) const {
    for (const auto& e : entries)
        if (EqualsIgnoreCase(e.name, name)) return e.value;
    return std::nullopt;
}

bool ClassInfo::InheritsFrom(const ClassInfo& other) const {
    for (const ClassInfo* c = this; c; c = c->base)
        if (c == &other) return true;
    return false;
}

namespace {

template <class Pick>
std::vector<const PropInfo*> Collect(const ClassInfo* leaf, Pick pick) {
    std::vector<const ClassInfo*> chain;
    for (const ClassInfo* c = leaf; c; c = c->base) chain.push_back(c);
    std::vector<const PropInfo*> out;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        for (const PropInfo& p : pick(**it)) out.push_back(&p);
    return out;
}

}  // namespace

std::vector<const PropInfo*> ClassInfo::AllProps() const {
    return Collect(this, [](const ClassInfo& c) { return c.props; });
}

std::vector<const PropInfo*> ClassInfo::AllExtras() const {
    return Collect(this, [](const ClassInfo& c) { return c.extras; });
}

const PropInfo* ClassInfo::FindProp(std::string_view name) const {
    for (const ClassInfo* c = this; c; c = c->base) {
        for (const PropInfo& p : c->props)
            if (EqualsIgnoreCase(p.name, name)) return &p;
        for (const PropInfo& p : c->extras)
            if (EqualsIgnoreCase(p.name, name)) return &p;
    }
    return nullptr;
}

}  // namespace zl
