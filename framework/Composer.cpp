#include "framework/Composer.h"

#include "framework/Form.h"

namespace {
constexpr std::uint32_t kTransparent = 0x00000000;
constexpr std::uint32_t kOpaqueWhite = 0xFFFFFFFF;
}  // namespace

void ComposeForm(const TForm& form, TSurface& surface)
{
    const auto& controls = form.Controls();
    auto next = controls.begin();
    while (next != controls.end() && !(*next)->Visible()) ++next;
    // The bottom control may clear and draw in one pass, which writes each
    // pixel once instead of clearing the whole surface and drawing again.
    if (form.Transparency && next != controls.end() && (*next)->PaintOnClearedSurface(surface)) {
        ++next;
    } else {
        surface.Fill(form.Transparency ? kTransparent : kOpaqueWhite);
    }
    for (; next != controls.end(); ++next) {
        if ((*next)->Visible()) (*next)->Paint(surface);
    }
}
