#include "decode/DShowMovieFingerprint_CL.h"

#include <dvdmedia.h>

#include <cstdlib>
#include <vector>

#include "core/GdiPlus.h"
#include "core/Log_CL.h"

DShowMovieFingerprint_CL::DShowMovieFingerprint_CL(HANDLE cancel)
{
    decoder.SetCancelEvent(cancel);
}

MovieFingerprint DShowMovieFingerprint_CL::Take(const std::wstring& moviePath)
{
    MovieFingerprint print;
    if (decoder.OpenMovie(moviePath) != S_OK) {
        decoder.Finalize();
        TheLog().Write(L"類似チェック: 開けない動画(%s)", moviePath.c_str());
        return print;
    }
    print.duration = decoder.GetMovieDuration(TIME_FORMAT_MEDIA_TIME);
    const AM_MEDIA_TYPE& connected = decoder.GetConnectedMediaType();
    if (connected.pbFormat && connected.cbFormat >= sizeof(VIDEOINFOHEADER2)) {
        const BITMAPINFOHEADER& header = reinterpret_cast<const VIDEOINFOHEADER2*>(connected.pbFormat)->bmiHeader;
        print.width = std::abs(static_cast<int>(header.biWidth));
        print.height = std::abs(static_cast<int>(header.biHeight));
    }
    std::vector<uint8_t> grey(MovieFingerprint::kGreyPixels);
    const std::vector<int64_t> times = MovieFingerprint::SampleTimes(print.duration);
    for (int64_t time : times) {
        std::unique_ptr<Gdiplus::Bitmap> image = decoder.DecodeFrameAt(time);
        if (image && GreyFrame(*image, grey.data())) {
            MovieFingerprint::Frame frame = MovieFingerprint::HashGreyFrame(grey.data());
            frame.time = time;
            print.frames.push_back(frame);
        }
        if (decoder.HasStalled()) break;  // every further seek would wait as long again
        // Cancelled: each further seek would still be made (its frame no longer awaited), and
        // on a slow machine the whole movie's seeks held up the end of a cancelled search.
        if (decoder.IsCanceled()) break;
    }
    decoder.Finalize();
    // A movie that gives fewer than half its frames is left out rather than half-known.
    print.isDecodable = !times.empty() && print.frames.size() * 2 >= times.size();
    if (!print.isDecodable) TheLog().Write(L"類似チェック: フレーム不足 %d (%s)", static_cast<int>(print.frames.size()), moviePath.c_str());
    return print;
}

bool DShowMovieFingerprint_CL::GreyFrame(Gdiplus::Bitmap& image, uint8_t* grey)
{
    const int width = static_cast<int>(image.GetWidth()), height = static_cast<int>(image.GetHeight());
    if (width <= 0 || height <= 0) return false;
    Gdiplus::Rect whole(0, 0, width, height);
    Gdiplus::BitmapData data;
    if (image.LockBits(&whole, Gdiplus::ImageLockModeRead, PixelFormat32bppRGB, &data) != Gdiplus::Ok) return false;
    constexpr int side = MovieFingerprint::kGreySide;
    uint64_t sums[MovieFingerprint::kGreyPixels] = {};
    uint32_t counts[MovieFingerprint::kGreyPixels] = {};
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(data.Scan0) + int64_t(y) * data.Stride);
        const int cellRow = y * side / height * side;
        for (int x = 0; x < width; ++x) {
            const uint32_t pixel = row[x];
            // 0.299 R + 0.587 G + 0.114 B in 1/1024 steps.
            const uint32_t luma = (306 * ((pixel >> 16) & 0xFF) + 601 * ((pixel >> 8) & 0xFF) + 117 * (pixel & 0xFF)) >> 10;
            const int cell = cellRow + x * side / width;
            sums[cell] += luma;
            ++counts[cell];
        }
    }
    image.UnlockBits(&data);
    for (int i = 0; i < MovieFingerprint::kGreyPixels; ++i)
        grey[i] = static_cast<uint8_t>(counts[i] ? sums[i] / counts[i] : 0);
    return true;
}
