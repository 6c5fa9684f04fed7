#include "window_pictures.h"

#include <cstring>
#include <wincodec.h>
#include <wrl/client.h>

namespace {

HRESULT Encode(const std::wstring& path, std::vector<DWORD>& pixels, UINT width, const RECT& crop)
{
    Microsoft::WRL::ComPtr<IWICImagingFactory> factory;
    Microsoft::WRL::ComPtr<IWICBitmap> bitmap;
    Microsoft::WRL::ComPtr<IWICBitmapSource> bgr;
    Microsoft::WRL::ComPtr<IWICStream> stream;
    Microsoft::WRL::ComPtr<IWICBitmapEncoder> encoder;
    Microsoft::WRL::ComPtr<IWICBitmapFrameEncode> frame;
    const auto size = static_cast<UINT>(pixels.size());
    WICRect area = {crop.left, crop.top, crop.right - crop.left, crop.bottom - crop.top};
    HRESULT result = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_PPV_ARGS(&factory));
    if (SUCCEEDED(result))
        result = factory->CreateBitmapFromMemory(width, size / width, GUID_WICPixelFormat32bppBGR,
                                                 width * 4, size * 4,
                                                 reinterpret_cast<BYTE*>(pixels.data()), &bitmap);
    // Every PNG encoder takes 24-bit blue, green, red, the format the frame
    // takes from its source.
    if (SUCCEEDED(result))
        result = WICConvertBitmapSource(GUID_WICPixelFormat24bppBGR, bitmap.Get(), &bgr);
    if (SUCCEEDED(result))
        result = factory->CreateStream(&stream);
    if (SUCCEEDED(result))
        result = stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE);
    if (SUCCEEDED(result))
        result = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder);
    if (SUCCEEDED(result))
        result = encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache);
    if (SUCCEEDED(result))
        result = encoder->CreateNewFrame(&frame, nullptr);
    if (SUCCEEDED(result))
        result = frame->Initialize(nullptr);
    if (SUCCEEDED(result))
        result = frame->WriteSource(bgr.Get(), &area);
    if (SUCCEEDED(result))
        result = frame->Commit();
    if (SUCCEEDED(result))
        result = encoder->Commit();
    return result;
}

} // namespace

HRESULT WritePng(const std::wstring& path, std::vector<DWORD> pixels, UINT width, const RECT& crop)
{
    if (width == 0 || pixels.size() % width != 0 || IsRectEmpty(&crop))
        return E_INVALIDARG;
    const HRESULT initialised = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const HRESULT result = Encode(path, pixels, width, crop);
    if (SUCCEEDED(initialised))
        CoUninitialize();
    return result;
}

std::vector<DWORD> ClientPixels(HWND window, PixelSource source)
{
    RECT client = {};
    GetClientRect(window, &client);
    std::vector<DWORD> pixels(static_cast<size_t>(client.right) * client.bottom);
    BITMAPINFO format = {};
    // Top row first.
    format.bmiHeader = {
        sizeof format.bmiHeader, client.right, -client.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0};

    HDC screen = GetDC(window);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        if (source == PixelSource::Screen)
            BitBlt(memory, 0, 0, client.right, client.bottom, screen, 0, 0, SRCCOPY);
        else
            for (UINT message : {WM_ERASEBKGND, WM_PAINT})
                SendMessageW(window, message, reinterpret_cast<WPARAM>(memory), 0);
        GdiFlush();
        std::memcpy(pixels.data(), bits, pixels.size() * sizeof(DWORD));
        SelectObject(memory, previous);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(window, screen);
    return pixels;
}
