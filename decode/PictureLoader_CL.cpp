#include "decode/PictureLoader_CL.h"

#include <objbase.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "core/AppMessages.h"
#include "core/GdiPlus.h"
#include "core/Log_CL.h"
#include "core/PathFunctions.h"
#include "core/UniqueHandle.h"

using Microsoft::WRL::ComPtr;

namespace {

// Reads the header bytes of a file at given offsets.
class HeaderReader {
public:
    explicit HeaderReader(const std::wstring& path)
        : file(::CreateFileW(LongPathForm(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, 0, nullptr))
    {
    }
    bool Read(int64_t offset, void* into, DWORD length)
    {
        LARGE_INTEGER at;
        at.QuadPart = offset;
        DWORD read = 0;
        return file && ::SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN) &&
               ::ReadFile(file.Get(), into, length, &read, nullptr) && read == length;
    }

private:
    FileHandle file;
};

uint32_t BigEndian(const uint8_t* bytes, int count)
{
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) value = value << 8 | bytes[i];
    return value;
}

uint32_t LittleEndian(const uint8_t* bytes, int count)
{
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = value << 8 | bytes[i];
    return value;
}

// The frame header of a JPEG: segments are walked from the start until a start-of-frame.
bool ReadJpegSize(HeaderReader& reader, int64_t& width, int64_t& height)
{
    int64_t at = 2;
    for (int segments = 0; segments < 4096; ++segments) {
        uint8_t marker[4];
        if (!reader.Read(at, marker, 2) || marker[0] != 0xFF) return false;
        if (marker[1] == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        const uint8_t type = marker[1];
        if (type == 0x01 || (type >= 0xD0 && type <= 0xD8)) {  // no length follows
            at += 2;
            continue;
        }
        if (type == 0xD9 || type == 0xDA || !reader.Read(at + 2, marker + 2, 2)) return false;
        const bool isFrame = type >= 0xC0 && type <= 0xCF && type != 0xC4 && type != 0xC8 && type != 0xCC;
        uint8_t frame[5];
        if (isFrame) {
            if (!reader.Read(at + 4, frame, 5)) return false;
            height = BigEndian(frame + 1, 2);
            width = BigEndian(frame + 3, 2);
            return true;
        }
        at += 2 + BigEndian(marker + 2, 2);
    }
    return false;
}

// Shrinks `source` (32bppPBGRA) into `out` by averaging every source pixel of each output
// pixel's box, reading only the rows of one output row at a time.
bool ShrinkInto(IWICBitmapSource* source, UINT width, UINT height, Gdiplus::Bitmap& out)
{
    const UINT outWidth = out.GetWidth(), outHeight = out.GetHeight();
    Gdiplus::Rect all(0, 0, static_cast<INT>(outWidth), static_cast<INT>(outHeight));
    Gdiplus::BitmapData locked;
    if (out.LockBits(&all, Gdiplus::ImageLockModeWrite, PixelFormat32bppPARGB, &locked) != Gdiplus::Ok) return false;
    std::vector<UINT> columnStart(outWidth + 1);
    for (UINT x = 0; x <= outWidth; ++x) columnStart[x] = static_cast<UINT>(uint64_t(x) * width / outWidth);
    std::vector<uint8_t> rows;
    std::vector<uint64_t> sums(size_t(outWidth) * 4);
    bool ok = true;
    for (UINT y = 0; y < outHeight && ok; ++y) {
        const UINT top = static_cast<UINT>(uint64_t(y) * height / outHeight);
        const UINT count = static_cast<UINT>(uint64_t(y + 1) * height / outHeight) - top;
        rows.resize(size_t(width) * 4 * count);
        WICRect strip = {0, static_cast<INT>(top), static_cast<INT>(width), static_cast<INT>(count)};
        ok = SUCCEEDED(source->CopyPixels(&strip, width * 4, static_cast<UINT>(rows.size()), rows.data()));
        std::fill(sums.begin(), sums.end(), 0);
        for (UINT row = 0; row < count; ++row) {
            const uint8_t* in = rows.data() + size_t(row) * width * 4;
            for (UINT x = 0; x < outWidth; ++x)
                for (UINT from = columnStart[x]; from < columnStart[x + 1]; ++from)
                    for (int c = 0; c < 4; ++c) sums[size_t(x) * 4 + c] += in[size_t(from) * 4 + c];
        }
        auto* outRow = static_cast<uint8_t*>(locked.Scan0) + size_t(y) * locked.Stride;
        for (UINT x = 0; x < outWidth; ++x) {
            const uint64_t pixels = uint64_t(columnStart[x + 1] - columnStart[x]) * count;
            for (int c = 0; c < 4; ++c) outRow[size_t(x) * 4 + c] = static_cast<uint8_t>(sums[size_t(x) * 4 + c] / pixels);
        }
    }
    out.UnlockBits(&locked);
    return ok;
}

bool IsTooLarge(const std::wstring& path, int64_t width, int64_t height)
{
    if (width * height <= PictureLoader_CL::kLargestPixelCount) return false;
    TheLog().Write(L"画像が大きすぎるため表示しません(%I64d x %I64d) : %s", width, height, path.c_str());
    return true;
}

}  // namespace

bool PictureLoader_CL::ReadPictureSize(const std::wstring& path, int64_t& width, int64_t& height)
{
    HeaderReader reader(path);
    uint8_t head[26] = {};
    if (!reader.Read(0, head, 10)) return false;
    if (head[0] == 0xFF && head[1] == 0xD8) return ReadJpegSize(reader, width, height);
    if (memcmp(head, "GIF8", 4) == 0) {
        width = LittleEndian(head + 6, 2);
        height = LittleEndian(head + 8, 2);
        return true;
    }
    if (!reader.Read(0, head, sizeof(head))) return false;
    if (memcmp(head, "\x89PNG\r\n\x1a\n", 8) == 0 && memcmp(head + 12, "IHDR", 4) == 0) {
        width = BigEndian(head + 16, 4);
        height = BigEndian(head + 20, 4);
        return true;
    }
    if (head[0] == 'B' && head[1] == 'M') {
        if (LittleEndian(head + 14, 4) == 12) {  // the old core header: 16-bit sizes
            width = LittleEndian(head + 18, 2);
            height = LittleEndian(head + 20, 2);
        } else {
            width = static_cast<int32_t>(LittleEndian(head + 18, 4));
            height = static_cast<int32_t>(LittleEndian(head + 22, 4));
        }
        width = width < 0 ? -width : width;
        height = height < 0 ? -height : height;  // top-down
        return true;
    }
    return false;
}

std::unique_ptr<Gdiplus::Bitmap> PictureLoader_CL::LoadScaled(const std::wstring& path, int maxWidth, int maxHeight,
                                                              bool& isTooLarge)
{
    // The platform's decoders take the whole picture into memory as soon as they open it:
    // its size is read from the header first.
    int64_t headerWidth = 0, headerHeight = 0;
    isTooLarge = ReadPictureSize(path, headerWidth, headerHeight) && IsTooLarge(path, headerWidth, headerHeight);
    if (isTooLarge) return nullptr;

    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICFormatConverter> converter;
    if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory, &factory)) ||
        FAILED(factory->CreateDecoderFromFilename(ShellPathForm(path).c_str(), nullptr, GENERIC_READ,
                                                  WICDecodeMetadataCacheOnDemand, &decoder)) ||
        FAILED(decoder->GetFrame(0, &frame)))
        return nullptr;
    UINT width = 0, height = 0;
    if (FAILED(frame->GetSize(&width, &height)) || width == 0 || height == 0) return nullptr;
    isTooLarge = IsTooLarge(path, width, height);
    if (isTooLarge || FAILED(factory->CreateFormatConverter(&converter)) ||
        FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr, 0,
                                     WICBitmapPaletteTypeCustom)))
        return nullptr;

    int64_t outWidth = width, outHeight = height;
    if (outWidth > maxWidth) {
        outHeight = std::max<int64_t>(1, outHeight * maxWidth / outWidth);
        outWidth = maxWidth;
    }
    if (outHeight > maxHeight) {
        outWidth = std::max<int64_t>(1, outWidth * maxHeight / outHeight);
        outHeight = maxHeight;
    }
    auto image = std::make_unique<Gdiplus::Bitmap>(static_cast<INT>(outWidth), static_cast<INT>(outHeight),
                                                   PixelFormat32bppPARGB);
    if (image->GetLastStatus() != Gdiplus::Ok || !ShrinkInto(converter.Get(), width, height, *image)) return nullptr;
    return image;
}

struct PictureLoader_CL::Shared {
    std::mutex lock;
    std::condition_variable wake;
    bool hasRequest = false, isQuitting = false;
    HWND window = nullptr;
    std::wstring path;
    int key = 0, maxWidth = 0, maxHeight = 0;
    KernelHandle ended{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

PictureLoader_CL::PictureLoader_CL() : shared(std::make_shared<Shared>()) {}

PictureLoader_CL::~PictureLoader_CL()
{
    Stop(0);
}

void PictureLoader_CL::Run(std::shared_ptr<Shared> shared)
{
    ::CoInitialize(nullptr);
    for (;;) {
        auto result = std::make_unique<Result>();
        HWND window;
        int maxWidth, maxHeight;
        {
            std::unique_lock<std::mutex> guard(shared->lock);
            shared->wake.wait(guard, [&] { return shared->hasRequest || shared->isQuitting; });
            if (shared->isQuitting) break;
            shared->hasRequest = false;
            window = shared->window;
            result->path = shared->path;
            result->key = shared->key;
            maxWidth = shared->maxWidth;
            maxHeight = shared->maxHeight;
        }
        result->image = LoadScaled(result->path, maxWidth, maxHeight, result->isTooLarge);
        Result* posted = result.release();
        // The receiver owns the result; if the post fails nobody will, so it is freed here.
        if (!::PostMessageW(window, MSG_PICTURE_LOADED, static_cast<WPARAM>(posted->key), reinterpret_cast<LPARAM>(posted)))
            delete posted;
    }
    ::CoUninitialize();
    ::SetEvent(shared->ended.Get());
}

void PictureLoader_CL::Request(HWND window, const std::wstring& path, int key, int maxWidth, int maxHeight)
{
    {
        std::lock_guard<std::mutex> guard(shared->lock);
        shared->hasRequest = true;
        shared->window = window;
        shared->path = path;
        shared->key = key;
        shared->maxWidth = std::max(1, maxWidth);
        shared->maxHeight = std::max(1, maxHeight);
    }
    shared->wake.notify_one();
    if (!isStarted) {
        std::thread(Run, shared).detach();
        isStarted = true;
    }
}

void PictureLoader_CL::Cancel()
{
    std::lock_guard<std::mutex> guard(shared->lock);
    shared->hasRequest = false;
}

void PictureLoader_CL::Stop(DWORD waitMs)
{
    if (!isStarted) return;
    {
        std::lock_guard<std::mutex> guard(shared->lock);
        shared->hasRequest = false;
        shared->isQuitting = true;
    }
    shared->wake.notify_one();
    ::WaitForSingleObject(shared->ended.Get(), waitMs);
    isStarted = false;
}
