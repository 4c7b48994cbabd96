#include "core/props/streaming.h"

#include "core/codepage.h"
#include "core/error.h"
#include "core/pagetext/nametables.h"

namespace zl {
namespace {

using pagetext::Value;

std::optional<std::string_view> IntName(IntNames names, std::int64_t value) {
    switch (names) {
        case IntNames::Color: return pagetext::ColorToIdent(value);
        case IntNames::Cursor: return pagetext::CursorToIdent(value);
        case IntNames::Charset: return pagetext::CharsetToIdent(value);
        case IntNames::None: break;
    }
    return std::nullopt;
}

std::optional<std::int64_t> IntValue(IntNames names, std::string_view name) {
    switch (names) {
        case IntNames::Color: return pagetext::IdentToColor(name);
        case IntNames::Cursor: return pagetext::IdentToCursor(name);
        case IntNames::Charset: return pagetext::IdentToCharset(name);
        case IntNames::None: break;
    }
    return std::nullopt;
}

pagetext::FloatKind ToFloatKind(FloatType type) {
    switch (type) {
        case FloatType::Single: return pagetext::FloatKind::Single;
        case FloatType::Currency: return pagetext::FloatKind::Currency;
        case FloatType::DateTime: return pagetext::FloatKind::DateTime;
        case FloatType::Extended: break;
    }
    return pagetext::FloatKind::Extended;
}

std::u16string Wide(const std::string& gbk) { return GbkToUtf16(gbk); }

[[noreturn]] void InvalidValue() { throw Error("Invalid property value"); }

void WriteOne(Persistent& object, const PropInfo& info, const std::string& prefix,
              std::vector<pagetext::Property>& out) {
    if (!info.IsStored(object)) return;
    const std::string path = prefix + std::string(info.name);
    auto emit = [&](Value v) { out.push_back({path, std::move(v), 0}); };
    switch (info.kind) {
        case PropKind::Object: {
            WriteProperties(*info.object(object), path + ".", out);
            return;
        }
        case PropKind::Collection: {
            auto& collection = static_cast<Collection&>(*info.object(object));
            pagetext::CollectionValue items;
            for (int i = 0; i < collection.Count(); ++i) {
                pagetext::CollectionItem item;
                WriteProperties(collection.Item(i), "", item.properties);
                items.items.push_back(std::move(item));
            }
            emit(std::move(items));
            return;
        }
        default: break;
    }
    if (info.kind == PropKind::Event && !info.get) {
        auto* component = dynamic_cast<Component*>(&object);
        if (!component) return;
        if (const std::string& handler = component->EventHandler(info.name); !handler.empty())
            emit(Value::Ident(handler));
        return;
    }
    const PropValue v = info.get(object);
    switch (info.kind) {
        case PropKind::Integer:
            if (info.ordinalDefault && v.i == *info.ordinalDefault) return;
            if (auto name = IntName(info.intNames, v.i)) emit(Value::Ident(std::string(*name)));
            else emit(Value::Integer(v.i));
            return;
        case PropKind::Enum: {
            if (info.ordinalDefault && v.i == *info.ordinalDefault) return;
            auto name = info.names ? info.names->NameOf(v.i) : std::nullopt;
            if (name) emit(Value::Ident(std::string(*name)));
            else emit(Value::Integer(v.i));
            return;
        }
        case PropKind::Set: {
            if (info.ordinalDefault && v.i == *info.ordinalDefault) return;
            std::vector<std::string> names;
            for (int bit = 0; bit < 64; ++bit)
                if (v.i & (std::int64_t{1} << bit))
                    if (auto name = info.names->NameOf(bit)) names.emplace_back(*name);
            emit(Value::Set(std::move(names)));
            return;
        }
        case PropKind::String:
            if (v.s.empty()) return;
            emit(Value::String(Wide(v.s)));
            return;
        case PropKind::Float:
            if (v.f == 0) return;
            emit(Value::Float(v.f, ToFloatKind(info.floatType)));
            return;
        case PropKind::Strings: {
            if (v.lines.empty()) return;
            pagetext::ListValue list;
            for (const auto& line : v.lines) list.items.push_back(Value::String(Wide(line)));
            emit(std::move(list));
            return;
        }
        case PropKind::Event:
        case PropKind::Reference:
            if (v.s.empty()) return;
            emit(Value::Ident(v.s));
            return;
        case PropKind::Binary:
            emit(Value::Binary(std::vector<std::uint8_t>(v.s.begin(), v.s.end())));
            return;
        default: return;
    }
}

PropValue Convert(const PropInfo& info, const Value& value, const ReadContext& context) {
    switch (info.kind) {
        case PropKind::Integer:
            if (auto* i = value.If<pagetext::IntegerValue>()) {
                // "$" literals are unsigned: $FFFFFFFFFFFFFFFF is far beyond any 32-bit property.
                if (i->hexDigits) {
                    const auto u = static_cast<std::uint64_t>(i->value);
                    if (info.maximum < 0 || u > static_cast<std::uint64_t>(info.maximum)) InvalidValue();
                    return PropValue::Int(static_cast<std::int64_t>(u));
                }
                if (i->value < info.minimum || i->value > info.maximum) InvalidValue();
                return PropValue::Int(i->value);
            }
            if (auto* id = value.If<pagetext::IdentValue>())
                if (auto v = IntValue(info.intNames, id->name)) return PropValue::Int(*v);
            InvalidValue();
        case PropKind::Enum:
            if (auto* id = value.If<pagetext::IdentValue>(); id && info.names)
                if (auto v = info.names->ValueOf(id->name)) return PropValue::Int(*v);
            InvalidValue();
        case PropKind::Set: {
            auto* set = value.If<pagetext::SetValue>();
            if (!set || !info.names) InvalidValue();
            std::int64_t bits = 0;
            for (const auto& name : set->names) {
                auto v = info.names->ValueOf(name);
                if (!v) InvalidValue();
                bits |= std::int64_t{1} << *v;
            }
            return PropValue::Int(bits);
        }
        case PropKind::String:
            if (auto* s = value.If<pagetext::StringValue>()) return PropValue::Str(Utf16ToGbk(s->text));
            InvalidValue();
        case PropKind::Float:
            if (auto* f = value.If<pagetext::FloatValue>()) return PropValue::Real(static_cast<double>(f->value));
            if (auto* i = value.If<pagetext::IntegerValue>()) return PropValue::Real(static_cast<double>(i->value));
            InvalidValue();
        case PropKind::Strings: {
            auto* list = value.If<pagetext::ListValue>();
            if (!list) InvalidValue();
            StringList lines;
            for (const auto& item : list->items) {
                auto* s = item.If<pagetext::StringValue>();
                if (!s) InvalidValue();
                lines.push_back(Utf16ToGbk(s->text));
            }
            return PropValue::List(std::move(lines));
        }
        case PropKind::Event: {
            auto* id = value.If<pagetext::IdentValue>();
            if (!id) InvalidValue();
            if (EqualsIgnoreCase(id->name, "nil")) return PropValue::Str({});
            for (const auto& handler : context.handlers)
                if (EqualsIgnoreCase(handler, id->name)) return PropValue::Str(handler);
            InvalidValue();
        }
        case PropKind::Reference: {
            auto* id = value.If<pagetext::IdentValue>();
            if (!id) InvalidValue();
            return PropValue::Str(EqualsIgnoreCase(id->name, "nil") ? std::string() : id->name);
        }
        case PropKind::Binary: {
            auto* b = value.If<pagetext::BinaryValue>();
            if (!b) InvalidValue();
            return PropValue::Str(std::string(b->bytes.begin(), b->bytes.end()));
        }
        default: InvalidValue();
    }
}

void ReadCollection(Collection& collection, const Value& value, const ReadContext& context) {
    auto* items = value.If<pagetext::CollectionValue>();
    if (!items) InvalidValue();
    collection.Clear();
    for (const auto& item : items->items) {
        Persistent& target = collection.Add();
        for (const auto& property : item.properties) ReadProperty(target, property, context);
    }
}

}  // namespace

void WriteProperties(Persistent& object, const std::string& prefix, std::vector<pagetext::Property>& out) {
    const ClassInfo& info = object.Class();
    for (const PropInfo* p : info.AllProps()) WriteOne(object, *p, prefix, out);
    for (const PropInfo* p : info.AllExtras()) WriteOne(object, *p, prefix, out);
}

void ReadProperty(Persistent& object, const pagetext::Property& property, const ReadContext& context) {
    Persistent* target = &object;
    std::string_view path = property.path;
    for (;;) {
        const size_t dot = path.find('.');
        const std::string_view segment = path.substr(0, dot);
        const PropInfo* info = target->Class().FindProp(segment);
        if (!info) throw Error(Format("Property %.*s does not exist", int(segment.size()), segment.data()));
        if (dot == std::string_view::npos) {
            if (info->kind == PropKind::Collection) {
                ReadCollection(static_cast<Collection&>(*info->object(*target)), property.value, context);
                return;
            }
            if (info->kind == PropKind::Event && !info->set) {
                auto* component = dynamic_cast<Component*>(target);
                if (!component) InvalidValue();
                component->BindEvent(info->name, Convert(*info, property.value, context).s);
                return;
            }
            if (info->kind == PropKind::Object || !info->set) InvalidValue();
            info->set(*target, Convert(*info, property.value, context));
            return;
        }
        if (info->kind != PropKind::Object) InvalidValue();
        target = info->object(*target);
        path = path.substr(dot + 1);
    }
}

}  // namespace zl
