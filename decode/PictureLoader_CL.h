#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

namespace Gdiplus {
class Bitmap;
}

// Still pictures for the preview, decoded to the size they are shown at, on a thread of the
// loader's own so that the window answers while a large picture decodes. Each request's
// result is posted to the window as MSG_PICTURE_LOADED (wParam the request's key, lParam an
// owned PictureLoader_CL::Result); a request replaces one that has not started yet.
class PictureLoader_CL {
public:
    // The platform's decoders hold the whole picture while it is shrunk, 4 bytes a pixel or
    // more: beyond this (512 MiB) a picture is not decoded at all. A 108-megapixel camera
    // picture still shows.
    static constexpr int64_t kLargestPixelCount = int64_t(1) << 27;

    struct Result {
        int key = 0;
        std::wstring path;
        std::unique_ptr<Gdiplus::Bitmap> image;  // null when the picture could not be read
        bool isTooLarge = false;
    };

    // Width and height from the file's header (PNG, JPEG, BMP, GIF), without decoding it.
    static bool ReadPictureSize(const std::wstring& path, int64_t& width, int64_t& height);
    // The picture shrunk to fit maxWidth x maxHeight (never enlarged), or null when it cannot
    // be read or has more than kLargestPixelCount pixels (`isTooLarge`, written to the log).
    // COM must be initialised on the calling thread.
    static std::unique_ptr<Gdiplus::Bitmap> LoadScaled(const std::wstring& path, int maxWidth, int maxHeight,
                                                        bool& isTooLarge);

    PictureLoader_CL();
    ~PictureLoader_CL();
    PictureLoader_CL(const PictureLoader_CL&) = delete;
    PictureLoader_CL& operator=(const PictureLoader_CL&) = delete;

    void Request(HWND window, const std::wstring& path, int key, int maxWidth, int maxHeight);
    // Forgets a request not yet started; one being decoded still posts its result.
    void Cancel();
    // Ends the thread, waiting up to `waitMs` for a picture being decoded; after that the
    // thread is left to finish on its own (it holds nothing of the loader's owner).
    void Stop(DWORD waitMs);

private:
    struct Shared;
    static void Run(std::shared_ptr<Shared> shared);

    std::shared_ptr<Shared> shared;
    bool isStarted = false;
};
