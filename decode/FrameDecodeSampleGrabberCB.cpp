#include "decode/FrameDecodeSampleGrabberCB.h"

#include <dvdmedia.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/Log_CL.h"
#include "core/UniqueHandle.h"
#include "decode/DShowMovieFrameDecode_CL.h"
#include "decode/DShowSampleRenderer.h"
#include "core/GdiPlus.h"

namespace {

int Clamp(int value)
{
    return value < 0 ? 0 : value > 255 ? 255 : value;
}

// A 32-bit DIB section of width x rows, bottom-up or top-down, with its pixel memory.
GdiObject MakeDib(int width, int rows, bool bottomUp, void** bits)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = bottomUp ? rows : -rows;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biSizeImage = static_cast<DWORD>(width) * rows * 4;
    HDC screen = ::GetDC(nullptr);
    HBITMAP dib = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, bits, nullptr, 0);
    ::ReleaseDC(nullptr, screen);
    return GdiObject(dib);
}

}  // namespace

HRESULT STDMETHODCALLTYPE FrameDecodeSampleGrabberCB::QueryInterface(REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == kIidSampleGrabberCB) {
        *out = static_cast<ISampleGrabberCB*>(this);
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

uint32_t FrameDecodeSampleGrabberCB::Yuy2ToRgb(int y, int u, int v)
{
    int yc = y - 16, uc = u - 128, vc = v - 128;
    int r = Clamp((298 * yc + 409 * vc + 128) >> 8);
    int g = Clamp((298 * yc - 100 * uc - 208 * vc + 128) >> 8);
    int b = Clamp((298 * yc + 516 * uc + 128) >> 8);
    return uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
}

std::unique_ptr<Gdiplus::Bitmap> FrameDecodeSampleGrabberCB::ImageFromSample(const uint8_t* data, int64_t length,
                                                                             int width, int height, bool isRGB32)
{
    const int rows = height < 0 ? -height : height;
    const int64_t pixels = int64_t(width) * rows;
    if (!data || width <= 0 || rows <= 0 || pixels >= kLargestPixelCount) return nullptr;
    // A YUY2 row holds whole pixel pairs: an odd width still ends with a complete pair.
    const int64_t packedRow = isRGB32 ? int64_t(width) * 4 : int64_t((width + 1) / 2) * 4;
    int64_t stride = packedRow;
    if (length % rows == 0 && length / rows > packedRow) stride = length / rows;  // padded further upstream
    // The frame size comes from upstream: never read past the sample it describes.
    if (length < stride * (rows - 1) + packedRow) return nullptr;

    const bool bottomUp = isRGB32 && height > 0;
    void* bits = nullptr;
    GdiObject dib = MakeDib(width, rows, bottomUp, &bits);
    if (!dib || !bits) return nullptr;
    auto* out = static_cast<uint32_t*>(bits);
    for (int row = 0; row < rows; ++row, out += width) {
        const uint8_t* in = data + int64_t(row) * stride;
        if (isRGB32) {
            memcpy(out, in, static_cast<size_t>(width) * 4);
            continue;
        }
        for (int x = 0; x < width; x += 2, in += 4) {
            out[x] = Yuy2ToRgb(in[0], in[1], in[3]);
            if (x + 1 < width) out[x + 1] = Yuy2ToRgb(in[2], in[1], in[3]);
        }
    }
    TheLog().Write(isRGB32 ? L"RGB32" : L"YUY2");
    std::unique_ptr<Gdiplus::Bitmap> image(Gdiplus::Bitmap::FromHBITMAP(static_cast<HBITMAP>(dib.Get()), nullptr));
    if (image && image->GetLastStatus() != Gdiplus::Ok) image.reset();
    return image;
}

HRESULT STDMETHODCALLTYPE FrameDecodeSampleGrabberCB::SampleCB(double sampleTime, IMediaSample* sample)
{
    DShowSampleRenderer* renderer = decoder.GetRenderer();
    if (!sample || !renderer) return 0;
    const uint64_t segment = renderer->GetReceivedSegment();
    {
        std::lock_guard<std::mutex> guard(slotLock);
        if (occupied || segment <= captureAfterSegment) return 0;  // from before the seek
    }
    LONGLONG start = 0, end = 0;
    sample->GetMediaTime(&start, &end);
    TheLog().Write(L"サンプルタイム Time1　= %I64d", start);
    TheLog().Write(L"サンプルタイム Time1　= %I64d", end);
    TheLog().Write(L"サンプルタイム = %I64d", static_cast<int64_t>(sampleTime) * 1000);

    BYTE* data = nullptr;
    long length = sample->GetActualDataLength();
    sample->GetPointer(&data);
    const AM_MEDIA_TYPE& connected = decoder.GetConnectedMediaType();
    std::unique_ptr<Gdiplus::Bitmap> image;
    if (length > 0 && data && connected.pbFormat && connected.cbFormat >= sizeof(VIDEOINFOHEADER2)) {
        const auto* header = reinterpret_cast<const VIDEOINFOHEADER2*>(connected.pbFormat);
        image = ImageFromSample(data, length, std::abs(static_cast<int>(header->bmiHeader.biWidth)),
                                header->bmiHeader.biHeight, renderer->IsRGB32());
    }
    {
        std::lock_guard<std::mutex> guard(slotLock);
        if (occupied || segment <= captureAfterSegment) return 0;  // a newer seek began meanwhile
        slot = std::move(image);
        occupied = true;
    }
    // Also without an image (an empty or short sample): that frame is lost, and the decoder
    // goes on to the next one at once.
    ::SetEvent(decoder.GetFrameEvent());
    return 1;
}

void FrameDecodeSampleGrabberCB::BeginCapture(uint64_t afterSegment)
{
    std::lock_guard<std::mutex> guard(slotLock);
    slot.reset();
    occupied = false;
    captureAfterSegment = afterSegment;
}

std::unique_ptr<Gdiplus::Bitmap> FrameDecodeSampleGrabberCB::TakeImage()
{
    std::lock_guard<std::mutex> guard(slotLock);
    return std::move(slot);
}
