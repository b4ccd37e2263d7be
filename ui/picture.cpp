#include "ui/picture.h"

#include <objbase.h>
#include <wincodec.h>

#include "ui/dimpixels.h"

namespace ui {
namespace {

// Pictures larger than this are refused before any allocation is sized from them.
const UINT kMaxSide = 8192;

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { if (p_) p_->Release(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    T** Out() { return &p_; }
    T* operator->() const { return p_; }
    T* Get() const { return p_; }

private:
    T* p_ = nullptr;
};

// COM for this thread while decoding; balanced only when this call started it.
class ComScope {
public:
    ComScope() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope() { if (SUCCEEDED(hr_)) CoUninitialize(); }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT hr_;
};

// One resource decoded ahead on a thread of its own.
struct Prefetched {
    const wchar_t* name = nullptr;
    HANDLE thread = nullptr;
    Picture picture;
};

Prefetched& ThePrefetched() {
    static Prefetched p;
    return p;
}

DWORD WINAPI PrefetchThread(void*) {
    Prefetched& p = ThePrefetched();
    p.picture = Picture::DecodeResource(p.name);
    return 0;
}

} // namespace

void Picture::Prefetch(const wchar_t* name) {
    Prefetched& p = ThePrefetched();
    if (p.thread || !name) return;
    p.name = name;
    p.thread = CreateThread(nullptr, 0, PrefetchThread, nullptr, 0, nullptr);
}

Picture Picture::FromResource(const wchar_t* name) {
    Prefetched& p = ThePrefetched();
    if (p.thread && name && lstrcmpW(name, p.name) == 0) {
        WaitForSingleObject(p.thread, INFINITE);
        CloseHandle(p.thread);
        p.thread = nullptr;
        return std::move(p.picture);
    }
    return DecodeResource(name);
}

Picture Picture::DecodeResource(const wchar_t* name) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC res = FindResourceW(module, name, reinterpret_cast<LPCWSTR>(RT_RCDATA));
    if (!res) return Picture();
    HGLOBAL loaded = LoadResource(module, res);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return Picture();
    return FromEncoded(data, SizeofResource(module, res));
}

Picture Picture::FromEncoded(const void* data, size_t size) {
    Picture pic;
    if (!data || size == 0 || size > 0x7FFFFFFF) return pic;
    ComScope com;
    {
        ComPtr<IWICImagingFactory> factory;
        ComPtr<IWICStream> stream;
        ComPtr<IWICBitmapDecoder> decoder;
        ComPtr<IWICBitmapFrameDecode> frame;
        ComPtr<IWICBitmapSource> converted;
        if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                    reinterpret_cast<void**>(factory.Out()))))
            return pic;
        if (FAILED(factory->CreateStream(stream.Out()))) return pic;
        if (FAILED(stream->InitializeFromMemory(static_cast<BYTE*>(const_cast<void*>(data)),
                                                static_cast<DWORD>(size))))
            return pic;
        if (FAILED(factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                                    decoder.Out())))
            return pic;
        if (FAILED(decoder->GetFrame(0, frame.Out()))) return pic;
        // Premultiplied BGRA: what GdiAlphaBlend wants, and plain BGR for an opaque JPEG.
        if (FAILED(WICConvertBitmapSource(GUID_WICPixelFormat32bppPBGRA, frame.Get(), converted.Out()))) return pic;
        UINT w = 0, h = 0;
        if (FAILED(converted->GetSize(&w, &h)) || w == 0 || h == 0 || w > kMaxSide || h > kMaxSide) return pic;
        size_t bytes = 0, stride = 0;
        if (!DibRowBytes(static_cast<int32_t>(w), 32, &stride) ||
            !DibBufferBytes(static_cast<int32_t>(w), static_cast<int32_t>(h), 32, &bytes))
            return pic;
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        bi.bmiHeader.biWidth = static_cast<LONG>(w);
        bi.bmiHeader.biHeight = -static_cast<LONG>(h);  // top-down, as WIC copies rows
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        Bitmap bmp(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (!bmp || !bits) return pic;
        if (FAILED(converted->CopyPixels(nullptr, static_cast<UINT>(stride), static_cast<UINT>(bytes),
                                         static_cast<BYTE*>(bits))))
            return pic;
        GdiFlush();
        const BYTE* p = static_cast<const BYTE*>(bits);
        bool alpha = false;
        for (size_t i = 3; i < bytes && !alpha; i += 4) alpha = p[i] != 0xFF;
        pic.bitmap_ = std::move(bmp);
        pic.width_ = static_cast<int>(w);
        pic.height_ = static_cast<int>(h);
        pic.alpha_ = alpha;
    }
    return pic;
}

Picture Picture::FromBitmap(HBITMAP bitmap) {
    Picture pic;
    BITMAP info = {};
    if (!bitmap || !GetObjectW(bitmap, sizeof(info), &info)) {
        if (bitmap) DeleteObject(bitmap);
        return pic;
    }
    pic.bitmap_.Reset(bitmap);
    pic.width_ = info.bmWidth;
    pic.height_ = info.bmHeight < 0 ? -info.bmHeight : info.bmHeight;
    return pic;
}

void Picture::Draw(HDC dc, int x, int y) const {
    if (!bitmap_) return;
    MemoryDC mem(dc);
    if (!mem.Get()) return;
    ScopedSelect sel(mem.Get(), bitmap_.Get());
    if (alpha_) {
        BLENDFUNCTION bf = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        GdiAlphaBlend(dc, x, y, width_, height_, mem.Get(), 0, 0, width_, height_, bf);
    } else {
        BitBlt(dc, x, y, width_, height_, mem.Get(), 0, 0, SRCCOPY);
    }
}

} // namespace ui
