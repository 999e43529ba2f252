// Win32 backend: PNG decoding with the Windows Imaging Component.
// Implemented features:
//  [X] PNG (only PNG: the decoder is the PNG codec, not a format sniffer) to
//      premultiplied 32-bit BGRA, i.e. the table's premultiplied ARGB layout
//  [X] The imaging factory straight from windowscodecs.dll, loaded from the
//      system folder; COM is started only if the codec asks for it
//  [X] Every COM object released on every path
// Missing features or Issues:
//  [ ] Only the first frame is decoded (a PNG has one)

#include "platform/win32_internal.h"
#include "platform/win32_library.h"

#include <wincodec.h>

#include <limits>

namespace Platform::Win32 {

namespace {

// Holds one COM interface pointer and releases it when it goes out of scope.
template <typename T> class ComRef {
public:
    ComRef() = default;
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef()
    {
        if (m_pointer) m_pointer->Release();
    }
    T* operator->() const { return m_pointer; }
    T* Get() const { return m_pointer; }
    T** Out() { return &m_pointer; }
    void** OutVoid() { return reinterpret_cast<void**>(&m_pointer); }

private:
    T* m_pointer = nullptr;
};

} // namespace

namespace {

// WICCreateImagingFactory_Proxy of windowscodecs.dll (declared in the SDK's
// wincodec_proxy.h, which MinGW-w64 lacks).
using CreateImagingFactoryFunction = HRESULT(WINAPI*)(UINT sdkVersion, IWICImagingFactory** factory);

// The imaging component's factory function, without a trip through COM's
// class registry; nullptr when windowscodecs.dll cannot be had.
CreateImagingFactoryFunction FactoryFunction()
{
    static SystemLibrary codecs(L"windowscodecs.dll");
    static CreateImagingFactoryFunction create = nullptr;
    if (!create && codecs.Open()) codecs.Find("WICCreateImagingFactory_Proxy", create);
    return create;
}

// Decodes with a fresh factory; `result` is the failure of the step that failed.
bool DecodeOnce(std::span<const std::uint8_t> data, DecodedImage& out, HRESULT& result)
{
    result = E_FAIL;
    const auto succeeded = [&result](HRESULT step) {
        result = step;
        return SUCCEEDED(step);
    };
    const auto create = FactoryFunction();
    if (!create) return false;
    ComRef<IWICImagingFactory> factory;
    if (!succeeded(create(WINCODEC_SDK_VERSION, factory.Out()))) return false;

    ComRef<IWICStream> stream;
    if (!succeeded(factory->CreateStream(stream.Out()))) return false;
    // WIC only reads from the buffer; the interface takes a non-const pointer.
    auto* bytes = const_cast<BYTE*>(reinterpret_cast<const BYTE*>(data.data()));
    if (!succeeded(stream->InitializeFromMemory(bytes, static_cast<DWORD>(data.size()))))
        return false;

    ComRef<IWICBitmapDecoder> decoder;
    if (!succeeded(factory->CreateDecoder(GUID_ContainerFormatPng, nullptr, decoder.Out())) ||
        !succeeded(decoder->Initialize(stream.Get(), WICDecodeMetadataCacheOnDemand)))
        return false;

    ComRef<IWICBitmapFrameDecode> frame;
    if (!succeeded(decoder->GetFrame(0, frame.Out()))) return false;

    ComRef<IWICFormatConverter> converter;
    if (!succeeded(factory->CreateFormatConverter(converter.Out())) ||
        !succeeded(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppPBGRA,
                                         WICBitmapDitherTypeNone, nullptr, 0.0,
                                         WICBitmapPaletteTypeCustom)))
        return false;

    UINT width = 0;
    UINT height = 0;
    if (!succeeded(converter->GetSize(&width, &height)) || width == 0 || height == 0) return false;
    result = E_FAIL;
    // Refuse sizes whose byte count would not fit the stride arithmetic below.
    const UINT64 stride = static_cast<UINT64>(width) * 4;
    const UINT64 total = stride * height;
    if (width > static_cast<UINT>(std::numeric_limits<int>::max()) ||
        height > static_cast<UINT>(std::numeric_limits<int>::max()) ||
        total > std::numeric_limits<UINT>::max())
        return false;

    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    if (!succeeded(converter->CopyPixels(nullptr, static_cast<UINT>(stride),
                                         static_cast<UINT>(total),
                                         reinterpret_cast<BYTE*>(pixels.data()))))
        return false;

    out.Width = static_cast<int>(width);
    out.Height = static_cast<int>(height);
    out.Pixels = std::move(pixels);
    return true;
}

} // namespace

bool DecodePng(std::span<const std::uint8_t> data, DecodedImage& out)
{
    if (data.empty() || data.size() > std::numeric_limits<DWORD>::max()) return false;
    HRESULT result = E_FAIL;
    if (DecodeOnce(data, out, result)) return true;
    // The codec is created through COM where the system wants that: start
    // COM then and try once more. Until then start-up goes without it.
    return result == CO_E_NOTINITIALIZED && StartCom() && DecodeOnce(data, out, result);
}

} // namespace Platform::Win32
