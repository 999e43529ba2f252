#include "framework/ControlClasses.h"

#include "framework/Form.h"
#include "framework/Image.h"


namespace {

template <class T>
TControl* CreateControl(TForm& form, const TDefinitionObject& definition, TBuildContext& context)
{
    T* control = new T(&form);
    try {
        ApplyProperties(*control, T::Properties(), definition.Properties, definition.Line,
                        definition.Name + " (" + definition.ClassName + ")", context);
    } catch (...) {
        delete control;
        throw;
    }
    return control;
}

struct TControlClass {
    const char* Name;
    TControlFactory Create;
};

const std::vector<TControlClass>& Classes()
{
    static const std::vector<TControlClass> classes = {
        {"TImage", &CreateControl<TImage>},
    };
    return classes;
}

}  // namespace

TControlFactory FindControlClass(const std::string& className)
{
    for (const TControlClass& entry : Classes())
        if (className == entry.Name) return entry.Create;
    return nullptr;
}

std::vector<std::string> ControlClassNames()
{
    std::vector<std::string> names;
    for (const TControlClass& entry : Classes()) names.emplace_back(entry.Name);
    return names;
}
