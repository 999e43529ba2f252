#include "framework/Definition.h"

#include "framework/Exceptions.h"

#include <toml++/toml.h>

#include <algorithm>

namespace {

int LineOf(const toml::node& node)
{
    return static_cast<int>(node.source().begin.line);
}

// Orders a table's entries as they are written; toml++ keeps them sorted by key.
std::vector<std::pair<std::string, const toml::node*>> InSourceOrder(const toml::table& table)
{
    std::vector<std::pair<std::string, const toml::node*>> entries;
    for (const auto& [key, node] : table) entries.emplace_back(std::string(key.str()), &node);
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        const auto& sa = a.second->source().begin;
        const auto& sb = b.second->source().begin;
        return sa.line != sb.line ? sa.line < sb.line : sa.column < sb.column;
    });
    return entries;
}

TDefinitionValue Convert(const toml::node& node, const std::string& name)
{
    TDefinitionValue value;
    value.Line = LineOf(node);
    if (const auto* b = node.as_boolean()) {
        value.Kind = TDefinitionValue::TKind::Boolean;
        value.Boolean = b->get();
    } else if (const auto* i = node.as_integer()) {
        value.Kind = TDefinitionValue::TKind::Integer;
        value.Integer = i->get();
    } else if (const auto* r = node.as_floating_point()) {
        value.Kind = TDefinitionValue::TKind::Real;
        value.Real = r->get();
    } else if (const auto* s = node.as_string()) {
        value.Kind = TDefinitionValue::TKind::Text;
        value.Text = s->get();
    } else if (const auto* a = node.as_array()) {
        value.Kind = TDefinitionValue::TKind::List;
        for (const toml::node& item : *a) value.Items.push_back(Convert(item, name));
    } else if (const auto* t = node.as_table()) {
        value.Kind = TDefinitionValue::TKind::Table;
        for (const auto& [key, child] : InSourceOrder(*t))
            value.Fields.push_back({key, Convert(*child, key)});
    } else {
        throw EDefinitionError(value.Line, "expected a boolean, number, text, list or table for " +
                                               name + ", found a date or time");
    }
    return value;
}

std::string RequiredText(const toml::table& table, const char* key, int line, const char* what,
                         int* valueLine = nullptr)
{
    const toml::node* node = table.get(key);
    if (!node)
        throw EDefinitionError(line, std::string("expected ") + key + " = \"...\" naming " + what);
    const auto* text = node->as_string();
    if (!text || text->get().empty())
        throw EDefinitionError(LineOf(*node), std::string("expected a text for ") + key +
                                                  " naming " + what);
    if (valueLine) *valueLine = LineOf(*node);
    return text->get();
}

TDefinitionObject ReadObject(const std::string& name, int nameLine, const toml::table& table,
                             bool isForm)
{
    TDefinitionObject object;
    object.Name = name;
    object.Line = LineOf(table);
    object.NameLine = nameLine;
    object.ClassName = RequiredText(table, "Class", object.Line, "the class", &object.ClassLine);
    for (const auto& [key, node] : InSourceOrder(table)) {
        if (key == "Class" || (!isForm && key == "Name")) continue;
        if (isForm && key == "Controls") {
            const auto* controls = node->as_array();
            if (!controls || !controls->is_array_of_tables())
                throw EDefinitionError(LineOf(*node),
                                       "expected [[" + name + ".Controls]] tables for the controls");
            for (const toml::node& item : *controls) {
                const toml::table& control = *item.as_table();
                int controlNameLine = 0;
                const std::string controlName =
                    RequiredText(control, "Name", LineOf(control), "the control", &controlNameLine);
                object.Children.push_back(ReadObject(controlName, controlNameLine, control, false));
            }
            continue;
        }
        object.Properties.push_back({key, Convert(*node, key)});
    }
    return object;
}

// The definition is ASCII; other characters are written as \u escapes in
// texts. NOTE: toml++ 3.3.0 can reach an unreachable branch (undefined
// behaviour) when it classifies some non-ASCII code points as whitespace, so
// such bytes are refused before the parser sees them.
void RequireAscii(std::string_view text)
{
    int line = 1;
    for (char c : text) {
        if (c == '\n') ++line;
        if (static_cast<unsigned char>(c) >= 0x80)
            throw EDefinitionError(line, "expected ASCII text; write other characters as \\u escapes "
                                         "inside texts");
    }
}

}  // namespace

const char* DescribeKind(TDefinitionValue::TKind kind)
{
    switch (kind) {
    case TDefinitionValue::TKind::Boolean: return "a boolean";
    case TDefinitionValue::TKind::Integer: return "an integer";
    case TDefinitionValue::TKind::Real: return "a number";
    case TDefinitionValue::TKind::Text: return "a text";
    case TDefinitionValue::TKind::List: return "a list";
    case TDefinitionValue::TKind::Table: return "a table";
    }
    return "a value";
}

TDefinitionObject ReadDefinition(std::string_view text)
{
    RequireAscii(text);
    toml::table document;
    try {
        document = toml::parse(text);
    } catch (const toml::parse_error& error) {
        throw EDefinitionError(static_cast<int>(error.source().begin.line),
                               std::string(error.description()));
    }
    const auto entries = InSourceOrder(document);
    if (entries.empty()) throw EDefinitionError(1, "expected a form table such as [Form1]");
    if (entries.size() > 1)
        throw EDefinitionError(LineOf(*entries[1].second),
                               "expected one form table, found a second entry " + entries[1].first);
    const auto& [name, node] = entries.front();
    const auto* form = node->as_table();
    if (!form) throw EDefinitionError(LineOf(*node), "expected a form table [" + name + "]");
    return ReadObject(name, LineOf(*form), *form, true);
}
