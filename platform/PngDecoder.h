#pragma once
// PNG decoding into premultiplied ARGB for the backends that have no decoder
// of their own: libpng's, shared by the Linux and headless backends (the
// Win32 backend decodes with WIC instead).

#include "platform/Platform.h"

namespace Platform {

bool DecodePngWithLibpng(std::span<const std::uint8_t> data, DecodedImage& out);

// The headless backend's decoder: libpng's where the build has libpng; in the
// Windows builds, which have none, the Windows Imaging Component's
// (headless_win32_decoder.cpp). Both give the same pixels.
bool DecodePngForHeadless(std::span<const std::uint8_t> data, DecodedImage& out);

}  // namespace Platform
