#include "window_pictures.h"

#include <cstring>
#include <wincodec.h>
#include <wrl/client.h>

namespace {

// Every PNG encoder takes 24-bit blue, green, red.
std::vector<BYTE> ToBgr(const std::vector<DWORD>& pixels)
{
    std::vector<BYTE> bytes;
    bytes.reserve(pixels.size() * 3);
    for (DWORD pixel : pixels) {
        bytes.push_back(static_cast<BYTE>(pixel));
        bytes.push_back(static_cast<BYTE>(pixel >> 8));
        bytes.push_back(static_cast<BYTE>(pixel >> 16));
    }
    return bytes;
}

HRESULT Encode(const std::wstring& path, UINT width, UINT height, std::vector<BYTE>& bgr)
{
    Microsoft::WRL::ComPtr<IWICImagingFactory> factory;
    Microsoft::WRL::ComPtr<IWICStream> stream;
    Microsoft::WRL::ComPtr<IWICBitmapEncoder> encoder;
    Microsoft::WRL::ComPtr<IWICBitmapFrameEncode> frame;
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    HRESULT result = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_PPV_ARGS(&factory));
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
        result = frame->SetSize(width, height);
    if (SUCCEEDED(result))
        result = frame->SetPixelFormat(&format);
    if (SUCCEEDED(result) && format != GUID_WICPixelFormat24bppBGR)
        result = WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
    if (SUCCEEDED(result))
        result = frame->WritePixels(height, width * 3, static_cast<UINT>(bgr.size()), bgr.data());
    if (SUCCEEDED(result))
        result = frame->Commit();
    if (SUCCEEDED(result))
        result = encoder->Commit();
    return result;
}

} // namespace

HRESULT WritePng(const std::wstring& path, UINT width, UINT height,
                 const std::vector<DWORD>& pixels)
{
    if (width == 0 || height == 0 || pixels.size() != static_cast<size_t>(width) * height)
        return E_INVALIDARG;
    std::vector<BYTE> bgr = ToBgr(pixels);
    const HRESULT initialised = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const HRESULT result = Encode(path, width, height, bgr);
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
            SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory),
                         PRF_CLIENT | PRF_ERASEBKGND);
        GdiFlush();
        std::memcpy(pixels.data(), bits, pixels.size() * sizeof(DWORD));
        SelectObject(memory, previous);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(window, screen);
    return pixels;
}
