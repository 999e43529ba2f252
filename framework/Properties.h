#pragma once
// Properties that a definition may set on a class, registered in one table per
// class, and the typed readers their setters use. Every reader raises
// EDefinitionError naming the line and what was expected.

#include "framework/Definition.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

class TForm;

// What a setter may need besides the value: the form being built, to bind
// event handlers by name.
struct TBuildContext {
    TForm& Form;
};

template <class T>
struct TPropertyInfo {
    const char* Name;
    bool Required;
    void (*Apply)(T& object, const TDefinitionValue& value, TBuildContext& context);
};

template <class T>
using TPropertyTable = std::vector<TPropertyInfo<T>>;

std::int64_t ReadInteger(const TDefinitionValue& value, const char* property, std::int64_t min,
                         std::int64_t max);
double ReadNumber(const TDefinitionValue& value, const char* property);
bool ReadBoolean(const TDefinitionValue& value, const char* property);
const std::string& ReadText(const TDefinitionValue& value, const char* property);
// One of `choices`; returns its index.
std::size_t ReadChoice(const TDefinitionValue& value, const char* property,
                       std::initializer_list<const char*> choices);
// A list whose items are each one of `choices`; returns their indexes.
std::vector<std::size_t> ReadChoiceList(const TDefinitionValue& value, const char* property,
                                        std::initializer_list<const char*> choices);
const TDefinitionValue& ReadTable(const TDefinitionValue& value, const char* property);

[[noreturn]] void RaiseUnknownProperty(const TDefinitionProperty& property, const std::string& what,
                                       const std::vector<const char*>& known);
[[noreturn]] void RaiseMissingProperty(int line, const std::string& what, const char* name);

// Applies `properties` to `object` through `table`: an unknown property, a
// bad value or a missing required property raises EDefinitionError.
// `objectLine` is where the object starts, for missing properties; `what`
// names the object in messages.
template <class T>
void ApplyProperties(T& object, const TPropertyTable<T>& table,
                     const std::vector<TDefinitionProperty>& properties, int objectLine,
                     const std::string& what, TBuildContext& context)
{
    std::vector<bool> seen(table.size(), false);
    for (const TDefinitionProperty& property : properties) {
        std::size_t index = 0;
        while (index < table.size() && property.Name != table[index].Name) ++index;
        if (index == table.size()) {
            std::vector<const char*> known;
            for (const auto& info : table) known.push_back(info.Name);
            RaiseUnknownProperty(property, what, known);
        }
        table[index].Apply(object, property.Value, context);
        seen[index] = true;
    }
    for (std::size_t index = 0; index < table.size(); ++index) {
        if (table[index].Required && !seen[index])
            RaiseMissingProperty(objectLine, what, table[index].Name);
    }
}
