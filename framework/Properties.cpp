#include "framework/Properties.h"

#include "framework/Exceptions.h"

namespace {

std::string JoinChoices(std::initializer_list<const char*> choices)
{
    std::string text;
    for (const char* choice : choices) {
        if (!text.empty()) text += ", ";
        text += choice;
    }
    return text;
}

[[noreturn]] void RaiseKind(const TDefinitionValue& value, const char* property,
                            const std::string& expected)
{
    throw EDefinitionError(value.Line, "expected " + expected + " for " + property + ", found " +
                                           DescribeKind(value.Kind));
}

}  // namespace

std::size_t ReadChoice(const TDefinitionValue& value, const char* property,
                       std::initializer_list<const char*> choices)
{
    if (value.Kind != TDefinitionValue::TKind::Text)
        RaiseKind(value, property, "one of " + JoinChoices(choices));
    std::size_t index = 0;
    for (const char* choice : choices) {
        if (value.Text == choice) return index;
        ++index;
    }
    throw EDefinitionError(value.Line, "expected one of " + JoinChoices(choices) + " for " +
                                           property + ", found \"" + value.Text + "\"");
}

std::int64_t ReadInteger(const TDefinitionValue& value, const char* property, std::int64_t min,
                         std::int64_t max)
{
    if (value.Kind != TDefinitionValue::TKind::Integer) RaiseKind(value, property, "an integer");
    if (value.Integer < min || value.Integer > max)
        throw EDefinitionError(value.Line, "expected an integer from " + std::to_string(min) +
                                               " to " + std::to_string(max) + " for " + property +
                                               ", found " + std::to_string(value.Integer));
    return value.Integer;
}

double ReadNumber(const TDefinitionValue& value, const char* property)
{
    if (value.Kind == TDefinitionValue::TKind::Real) return value.Real;
    if (value.Kind == TDefinitionValue::TKind::Integer) return static_cast<double>(value.Integer);
    RaiseKind(value, property, "a number");
}

bool ReadBoolean(const TDefinitionValue& value, const char* property)
{
    if (value.Kind != TDefinitionValue::TKind::Boolean)
        RaiseKind(value, property, "true or false");
    return value.Boolean;
}

const std::string& ReadText(const TDefinitionValue& value, const char* property)
{
    if (value.Kind != TDefinitionValue::TKind::Text) RaiseKind(value, property, "a text");
    return value.Text;
}

std::vector<std::size_t> ReadChoiceList(const TDefinitionValue& value, const char* property,
                                        std::initializer_list<const char*> choices)
{
    if (value.Kind != TDefinitionValue::TKind::List)
        RaiseKind(value, property, "a list of " + JoinChoices(choices));
    std::vector<std::size_t> indexes;
    for (const TDefinitionValue& item : value.Items)
        indexes.push_back(ReadChoice(item, property, choices));
    return indexes;
}

const TDefinitionValue& ReadTable(const TDefinitionValue& value, const char* property)
{
    if (value.Kind != TDefinitionValue::TKind::Table) RaiseKind(value, property, "a table");
    return value;
}

void RaiseUnknownProperty(const TDefinitionProperty& property, const std::string& what,
                          const std::vector<const char*>& known)
{
    std::string list;
    for (const char* name : known) {
        if (!list.empty()) list += ", ";
        list += name;
    }
    throw EDefinitionError(property.Value.Line, "unknown property " + property.Name + " of " +
                                                    what + "; expected one of " + list);
}

void RaiseMissingProperty(int line, const std::string& what, const char* name)
{
    throw EDefinitionError(line, what + " is missing the required property " + name);
}
