#pragma once
// PNG decoding with libpng into premultiplied ARGB, shared by the Linux and
// headless backends (the Win32 backend decodes with WIC instead).

#include "platform/Platform.h"

namespace Platform {

bool DecodePngWithLibpng(std::span<const std::uint8_t> data, DecodedImage& out);

}  // namespace Platform
