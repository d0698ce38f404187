// Time from asking for a movie's 16 preview frames to the last one arriving, through the
// decode thread and decoder the result pane uses; and, taken in turn with it, the time to
// take the movie's fingerprint for the similar search, which must cost no more. The decoder
// keeps the movie's graph from one request to the next, so only the first request builds it,
// as each fingerprint does: that one is printed too.
// Usage: bench-preview-frames MOVIE [RUNS]
// prints: preview-median errors fingerprint-median first-preview
#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/AppMessages.h"
#include "core/GdiPlus.h"
#include "decode/DShowMovieFingerprint_CL.h"
#include "decode/DShowMovieFrameDecodeThread_CL.h"
#include "decode/DShowMovieFrameDecode_CL.h"
#include "decode/MovieDecodoRequestItem_CL.h"

namespace {

// Seconds until all frames of one request have arrived; -1 on a time-out.
double TimeOneRequest(DShowMovieFrameDecode_CL& decoder, HWND window, const std::wstring& movie, int key, int& errors)
{
    const auto start = std::chrono::steady_clock::now();
    decoder.RequestMovieFrames(movie, std::vector<int64_t>(16, DShowMovieFrameDecode_CL::kNextEvenPoint), key, 0);
    int received = 0;
    while (received < 16) {
        MSG message;
        if (::PeekMessageW(&message, window, MSG_DECODE_RESULT, MSG_DECODE_RESULT, PM_REMOVE)) {
            std::unique_ptr<MovieDecodoRequestItem_CL> result(reinterpret_cast<MovieDecodoRequestItem_CL*>(message.lParam));
            errors += result->isErrorImage;
            ++received;
            continue;
        }
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(120)) return -1;
        ::Sleep(1);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Seconds to take the fingerprint; -1 when the movie gave none.
double TimeOneFingerprint(const std::wstring& movie)
{
    const auto start = std::chrono::steady_clock::now();
    DShowMovieFingerprint_CL taker;
    if (!taker.Take(movie).isDecodable) return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        std::fwprintf(stderr, L"usage: bench-preview-frames MOVIE [RUNS]\n");
        return 2;
    }
    const int runs = argc > 2 ? std::max(1, _wtoi(argv[2])) : 3;
    ::CoInitialize(nullptr);
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
    HWND window = ::CreateWindowExW(0, L"Static", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    double median = 0, fingerprint = 0, first = 0;
    int errors = 0;
    {
        DShowMovieFrameDecodeThread_CL thread;
        DShowMovieFrameDecode_CL decoder;
        thread.Start();
        decoder.Attach(&thread, window);
        std::vector<double> times, fingerprints;
        for (int run = 0; run < runs; ++run) {
            times.push_back(TimeOneRequest(decoder, window, argv[1], run + 1, errors));
            fingerprints.push_back(TimeOneFingerprint(argv[1]));
        }
        first = times.front();
        median = Median(times);
        fingerprint = Median(fingerprints);
        thread.Stop();
    }
    std::printf("%.2f %d %.2f %.2f\n", median, errors, fingerprint, first);
    Gdiplus::GdiplusShutdown(token);
    return median < 0 || fingerprint < 0 ? 1 : 0;
}
