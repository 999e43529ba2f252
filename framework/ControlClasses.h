#pragma once
// The control classes that a form definition may name, registered in one place.

#include "framework/Control.h"

#include <string>
#include <vector>

// Creates a control of the class, owned by and placed on `form`, with the
// definition's properties applied; raises EDefinitionError for a bad value.
using TControlFactory = TControl* (*)(TForm& form, const TDefinitionObject& definition,
                                      TBuildContext& context);

// The factory for `className`, or nullptr.
TControlFactory FindControlClass(const std::string& className);
std::vector<std::string> ControlClassNames();
