#pragma once
// The form definition: a TOML text that declares a form and its controls.
//
//   [Form1]                      # the form's name
//   Class = "TForm1"             # the form's class
//   Caption = "Avendrel"         # ... its properties
//   OnCreate = "FormCreate"      # events name handlers of the form class
//
//   [[Form1.Controls]]           # controls, bottom of the z-order first
//   Name = "Image1"
//   Class = "TImage"
//   ...
//
// ReadDefinition turns the text into a tree that keeps the line of every
// value, so that whoever applies it can name the line of a bad value.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct TDefinitionProperty;

struct TDefinitionValue {
    enum class TKind { Boolean, Integer, Real, Text, List, Table };
    TKind Kind = TKind::Boolean;
    int Line = 0;
    bool Boolean = false;
    std::int64_t Integer = 0;
    double Real = 0.0;
    std::string Text;
    std::vector<TDefinitionValue> Items;      // a List
    std::vector<TDefinitionProperty> Fields;  // a Table, in the order written
};

struct TDefinitionProperty {
    std::string Name;
    TDefinitionValue Value;
};

struct TDefinitionObject {
    std::string Name;
    std::string ClassName;
    int Line = 0;       // where the object's table starts
    int NameLine = 0;   // where its name is written
    int ClassLine = 0;  // where its class is written
    std::vector<TDefinitionProperty> Properties;  // in the order written
    std::vector<TDefinitionObject> Children;      // bottom of the z-order first
};

// Reads a definition; raises EDefinitionError naming the line for a syntax
// error or a text that does not have the shape above.
TDefinitionObject ReadDefinition(std::string_view text);

// "an integer", "a text", … for messages.
const char* DescribeKind(TDefinitionValue::TKind kind);
