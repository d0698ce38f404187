// Memory of preview sheets, through the decode thread, decoder and canvas the result pane
// uses. Usage:
//   bench-preview-memory decoder MOVIE       the decoder alone: the movie opened and sought
//                                            16 times, each frame dropped as it comes
//   bench-preview-memory sheet MOVIE         a 16-frame sheet, the frames kept in the canvas
//   bench-preview-memory alternate BIG SMALL four rounds of a sheet of BIG, then of SMALL
// Prints the frames and working sets in MiB (peak for the first two).
#include <windows.h>
#include <objbase.h>
#include <psapi.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/AppMessages.h"
#include "core/GdiPlus.h"
#include "decode/DShowMovieFrameDecodeThread_CL.h"
#include "decode/DShowMovieFrameDecode_CL.h"
#include "decode/FrameInfo_CL.h"
#include "decode/MovieDecodoRequestItem_CL.h"

namespace {

constexpr int kFrames = 16;

double MiB(SIZE_T bytes)
{
    return bytes / 1048576.0;
}

PROCESS_MEMORY_COUNTERS Memory()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
    return counters;
}

// One sheet as the pane makes it: the frames drawn into their cells as they arrive.
int MakeSheet(DShowMovieFrameDecode_CL& decoder, HWND window, FrameInfo_CL& frames, const std::wstring& movie, int key)
{
    decoder.RequestMovieFrames(movie, std::vector<int64_t>(kFrames, DShowMovieFrameDecode_CL::kNextEvenPoint), key, 0);
    frames.CreateFrameBitmap();
    frames.SetWidthCount(4);
    int received = 0, decoded = 0;
    const ULONGLONG end = ::GetTickCount64() + 300000;
    while (received < kFrames && ::GetTickCount64() < end) {
        MSG message;
        if (!::PeekMessageW(&message, window, MSG_DECODE_RESULT, MSG_DECODE_RESULT, PM_REMOVE)) {
            ::Sleep(1);
            continue;
        }
        std::unique_ptr<MovieDecodoRequestItem_CL> result(reinterpret_cast<MovieDecodoRequestItem_CL*>(message.lParam));
        decoded += !result->isErrorImage;
        frames.SetFrame(result->frameNumber - 1, std::move(result->image));
        ++received;
    }
    return decoded;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring mode = argc > 2 ? argv[1] : L"";
    if (!(mode == L"decoder" || mode == L"sheet" || (mode == L"alternate" && argc > 3))) {
        std::fwprintf(stderr, L"usage: bench-preview-memory decoder|sheet MOVIE, or alternate BIG SMALL\n");
        return 2;
    }
    ::CoInitialize(nullptr);
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
    HWND window = ::CreateWindowExW(0, L"Static", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    std::printf("start: %.0f MiB\n", MiB(Memory().WorkingSetSize));
    if (mode == L"decoder") {
        DShowMovieFrameDecode_CL decoder;
        int decoded = 0;
        if (decoder.OpenMovie(argv[2]) == S_OK) {
            std::vector<int64_t> times(kFrames, DShowMovieFrameDecode_CL::kNextEvenPoint);
            DShowMovieFrameDecode_CL::ResolveFrameTimes(decoder.GetMovieDuration(TIME_FORMAT_MEDIA_TIME), times);
            for (int64_t time : times) decoded += decoder.DecodeFrameAt(time) != nullptr;
        }
        std::printf("decoder alone: %d frames, peak %.0f MiB\n", decoded, MiB(Memory().PeakWorkingSetSize));
        decoder.Finalize();
    } else {
        DShowMovieFrameDecodeThread_CL thread;
        DShowMovieFrameDecode_CL decoder;
        thread.Start();
        decoder.Attach(&thread, window);
        FrameInfo_CL frames;
        if (mode == L"sheet") {
            const int decoded = MakeSheet(decoder, window, frames, argv[2], 1);
            std::printf("sheet: %d frames, peak %.0f MiB, now %.0f MiB\n", decoded, MiB(Memory().PeakWorkingSetSize),
                        MiB(Memory().WorkingSetSize));
        } else {
            int key = 0;
            for (int round = 1; round <= 4; ++round) {
                const int big = MakeSheet(decoder, window, frames, argv[2], ++key);
                const double afterBig = MiB(Memory().WorkingSetSize);
                const int small = MakeSheet(decoder, window, frames, argv[3], ++key);
                ::Sleep(2000);  // what the released graph's threads still hold is let go meanwhile
                std::printf("round %d: %d + %d frames, %.0f MiB after the big sheet, %.0f MiB after the small one\n", round,
                            big, small, afterBig, MiB(Memory().WorkingSetSize));
            }
        }
        thread.Stop();
    }
    ::DestroyWindow(window);
    Gdiplus::GdiplusShutdown(token);
    return 0;
}
