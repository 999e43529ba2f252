#include "framework/Composer.h"

#include "framework/Form.h"

namespace {
constexpr std::uint32_t kTransparent = 0x00000000;
constexpr std::uint32_t kOpaqueWhite = 0xFFFFFFFF;
}  // namespace

void ComposeForm(const TForm& form, TSurface& surface)
{
    surface.Fill(form.Transparency ? kTransparent : kOpaqueWhite);
    for (const TControl* control : form.Controls()) {
        if (control->Visible()) control->Paint(surface);
    }
}
