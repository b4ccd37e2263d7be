#include "ui/picture.h"

#include <objbase.h>
#include <wincodec.h>

#include <vector>

#include "ui/dimpixels.h"
#include "ui/resample.h"

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

// A resource decoded ahead on a thread of its own. Only the GUI thread
// starts and takes them.
struct Prefetched {
    const wchar_t* name = nullptr;
    HANDLE thread = nullptr;
    Picture picture;
};

const size_t kPrefetchSlots = 4;

// Never destroyed: a face nobody asked for may still be decoding when the
// process ends.
Prefetched* PrefetchSlots() {
    static Prefetched* slots = new Prefetched[kPrefetchSlots];
    return slots;
}

DWORD WINAPI PrefetchThread(void* slot) {
    Prefetched& p = *static_cast<Prefetched*>(slot);
    p.picture = Picture::DecodeResource(p.name);
    return 0;
}

// A bitmap's pixels as top-down 32-bit rows (works for DIB sections and
// device bitmaps alike).
bool ReadPixels(HBITMAP bitmap, std::vector<uint8_t>* pixels, int* width, int* height) {
    BITMAP info = {};
    if (!bitmap || !GetObjectW(bitmap, sizeof(info), &info) || info.bmWidth <= 0 || info.bmHeight == 0) return false;
    const int h = info.bmHeight < 0 ? -info.bmHeight : info.bmHeight;
    size_t bytes = 0;
    if (!DibBufferBytes(info.bmWidth, h, 32, &bytes)) return false;
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = info.bmWidth;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    pixels->resize(bytes);
    WindowDC screen(nullptr);
    if (!screen.Get() || GetDIBits(screen.Get(), bitmap, 0, static_cast<UINT>(h), pixels->data(), &bi,
                                   DIB_RGB_COLORS) != h)
        return false;
    *width = info.bmWidth;
    *height = h;
    return true;
}


} // namespace

void Picture::Prefetch(const wchar_t* name) {
    if (!name || IS_INTRESOURCE(name)) return;
    Prefetched* open = nullptr;
    for (size_t i = 0; i < kPrefetchSlots; ++i) {
        Prefetched& p = PrefetchSlots()[i];
        if (p.thread && lstrcmpW(name, p.name) == 0) return;  // already under way
        if (!p.thread && !open) open = &p;
    }
    if (!open) return;  // all busy: decoded when asked for
    open->name = name;
    open->thread = CreateThread(nullptr, 0, PrefetchThread, open, 0, nullptr);
}

Picture Picture::FromResource(const wchar_t* name) {
    for (size_t i = 0; i < kPrefetchSlots && name && !IS_INTRESOURCE(name); ++i) {
        Prefetched& p = PrefetchSlots()[i];
        if (!p.thread || lstrcmpW(name, p.name) != 0) continue;
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
    Picture pic = FromEncoded(data, SizeofResource(module, res));
    if (!pic.Empty() && !IS_INTRESOURCE(name)) {
        std::wstring hiRes = std::wstring(name) + L"_2X";
        if (FindResourceW(module, hiRes.c_str(), reinterpret_cast<LPCWSTR>(RT_RCDATA))) pic.hiRes_ = hiRes;
    }
    return pic;
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
        void* bits = nullptr;
        Bitmap bmp = MakeDib(static_cast<int>(w), static_cast<int>(h), &bits);  // top-down, as WIC copies rows
        if (!bmp || !bits) return pic;
        if (FAILED(converted->CopyPixels(nullptr, static_cast<UINT>(stride), static_cast<UINT>(bytes),
                                         static_cast<BYTE*>(bits))))
            return pic;
        GdiFlush();
        const BYTE* p = static_cast<const BYTE*>(bits);
        bool alpha = false;
        for (size_t i = 3; i < bytes && !alpha; i += 4) alpha = p[i] != 0xFF;
        pic.bitmap_ = std::move(bmp);
        pic.width_ = pic.pixelWidth_ = static_cast<int>(w);
        pic.height_ = pic.pixelHeight_ = static_cast<int>(h);
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
    pic.width_ = pic.pixelWidth_ = info.bmWidth;
    pic.height_ = pic.pixelHeight_ = info.bmHeight < 0 ? -info.bmHeight : info.bmHeight;
    return pic;
}

void Picture::SetLogicalSize(int width, int height) {
    width_ = width;
    height_ = height;
}

HBITMAP Picture::Resampled(int width, int height) const {
    if (resampled_ && resampledWidth_ == width && resampledHeight_ == height) return resampled_.Get();
    resampled_.Reset();
    std::vector<uint8_t> src;
    int sw = 0, sh = 0;
    bool read = false;
    if (!hiRes_.empty()) {
        Picture large = DecodeResource(hiRes_.c_str());
        read = ReadPixels(large.Handle(), &src, &sw, &sh);
    }
    if (!read && !ReadPixels(bitmap_.Get(), &src, &sw, &sh)) return nullptr;
    void* bits = nullptr;
    Bitmap out = MakeDib(width, height, &bits);
    size_t stride = 0;
    if (!out || !bits || !DibRowBytes(width, 32, &stride) ||
        !ResamplePixels(src.data(), sw, sh, static_cast<size_t>(sw) * 4, static_cast<uint8_t*>(bits), width, height,
                        stride))
        return nullptr;
    GdiFlush();
    resampled_ = std::move(out);
    resampledWidth_ = width;
    resampledHeight_ = height;
    return resampled_.Get();
}

void Picture::Draw(HDC dc, int x, int y) const {
    if (!bitmap_) return;
    // Where the logical rectangle lands in device pixels under the DC's mapping.
    POINT corner[2] = {{x, y}, {x + width_, y + height_}};
    const bool mapped = GetMapMode(dc) != MM_TEXT;
    if (mapped) LPtoDP(dc, corner, 2);
    const int w = corner[1].x - corner[0].x, h = corner[1].y - corner[0].y;
    if (w <= 0 || h <= 0) return;
    HBITMAP source = bitmap_.Get();
    if (w != pixelWidth_ || h != pixelHeight_) source = Resampled(w, h);
    if (!source) return;
    int saved = 0;
    if (mapped) {
        // Pixels copied one to one: a mapped blit would stretch them crudely.
        saved = SaveDC(dc);
        SetMapMode(dc, MM_TEXT);
        SetWindowOrgEx(dc, 0, 0, nullptr);
        SetViewportOrgEx(dc, 0, 0, nullptr);
    }
    MemoryDC mem(dc);
    if (mem.Get()) {
        ScopedSelect sel(mem.Get(), source);
        if (alpha_) {
            BLENDFUNCTION bf = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
            GdiAlphaBlend(dc, corner[0].x, corner[0].y, w, h, mem.Get(), 0, 0, w, h, bf);
        } else {
            BitBlt(dc, corner[0].x, corner[0].y, w, h, mem.Get(), 0, 0, SRCCOPY);
        }
    }
    if (mapped) RestoreDC(dc, saved);
}

} // namespace ui
