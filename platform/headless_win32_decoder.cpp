// Headless backend, Windows builds: PNG decoding with the Win32 backend's
// decoder (the Windows Imaging Component), since these builds have no libpng.
// Implemented features:
//  [X] COM started on the calling thread on first use, in the multithreaded
//      apartment (it needs no window and no message loop), and left started
// Missing features or Issues:
//  [ ] None

#include "platform/PngDecoder.h"

#include "platform/win32_internal.h"

#include <objbase.h>

namespace Platform {

bool DecodePngForHeadless(std::span<const std::uint8_t> data, DecodedImage& out)
{
    // S_FALSE when COM was already started on this thread, and
    // RPC_E_CHANGED_MODE when it was started in another apartment: both do.
    static thread_local const HRESULT com = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(com) && com != RPC_E_CHANGED_MODE) return false;
    return Win32::DecodePng(data, out);
}

}  // namespace Platform
