// libFuzzer target for the form definition, the program's only parsed input:
// any text is either built into a TForm1 (and then composed) or refused with
// one of the framework's errors. Anything else — a crash, another exception,
// a leak, a hang — is a fault.

#include "framework/Application.h"
#include "framework/Composer.h"
#include "framework/Exceptions.h"
#include "framework/Startup.h"
#include "platform/headless_platform.h"
#include "ui/Unit1.h"

#include <cstdint>
#include <string_view>

namespace {

bool OpenOnce()
{
    Platform::Headless::Load({});
    std::string error;
    return OpenFramework(Platform::Headless::Connect(), error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool opened = OpenOnce();
    if (!opened) return 0;
    auto* form = new TForm1(Application);
    try {
        form->BuildFromText({reinterpret_cast<const char*>(data), size});
        // Compose what was built, unless the declared surface is too large to be worth it.
        if (static_cast<long long>(form->ClientWidth) * form->ClientHeight <= (1LL << 22)) {
            TSurface surface(form->ClientWidth, form->ClientHeight);
            ComposeForm(*form, surface);
        }
    } catch (const Exception&) {
        // Refused, as a bad definition must be.
    }
    delete form;
    return 0;
}
