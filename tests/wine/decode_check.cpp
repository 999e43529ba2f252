// Test helper, run under Wine: decodes each PNG named on the command line
// with the Win32 backend's DecodePng and prints, per file, either
//   <width>x<height> <pixel> <pixel> ...   (premultiplied ARGB, 8 hex digits)
// or "failed".

#include "platform/win32_platform.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const Platform::Table table = Platform::Win32::Connect();
    std::string error;
    if (!table.Init(error)) {
        std::printf("init failed: %s\n", error.c_str());
        return 1;
    }
    for (int index = 1; index < argc; ++index) {
        std::ifstream file(argv[index], std::ios::binary);
        const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                              std::istreambuf_iterator<char>());
        Platform::DecodedImage image;
        if (!table.DecodePng(bytes, image)) {
            std::printf("failed\n");
            continue;
        }
        std::printf("%dx%d", image.Width, image.Height);
        for (const std::uint32_t pixel : image.Pixels) std::printf(" %08x", pixel);
        std::printf("\n");
    }
    table.Terminate();
    return 0;
}
