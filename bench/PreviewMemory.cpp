// Memory of preview sheets, through the decode thread, decoder and canvas the result pane
// uses. Usage:
//   bench-preview-memory decoder MOVIE       the decoder alone: the movie opened and sought
//                                            16 times, each frame dropped as it comes
//   bench-preview-memory sheet MOVIE         a 16-frame sheet, the frames kept in the canvas
//   bench-preview-memory alternate BIG SMALL four rounds of a sheet of BIG, then of SMALL
//   bench-preview-memory bare BIG SMALL      the same rounds with a bare graph of the platform's
//                                            (its null renderer, 16 seeks, no frame taken)
// Prints the frames and working sets in MiB (peak for the first two); the rounds also print
// private bytes, GDI objects, handles and threads, each 2 s after the small movie.
#include <windows.h>
#include <objbase.h>
#include <psapi.h>
#include <tlhelp32.h>
#include <wrl/client.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <uuids.h>

#include "core/AppMessages.h"
#include "core/GdiPlus.h"
#include "decode/DShowMovieFrameDecodeThread_CL.h"
#include "decode/DShowMovieFrameDecode_CL.h"
#include "decode/DShowMovieHelper_CL.h"
#include "decode/DShowSampleRenderer.h"
#include "decode/FrameInfo_CL.h"
#include "decode/MovieDecodoRequestItem_CL.h"

extern "C" const CLSID CLSID_NullRenderer;

namespace {

constexpr int kFrames = 16;
constexpr int kRounds = 6;

double MiB(SIZE_T bytes)
{
    return bytes / 1048576.0;
}

PROCESS_MEMORY_COUNTERS_EX Memory()
{
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof(counters));
    return counters;
}

int ThreadCount()
{
    FileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    int count = 0;
    for (BOOL more = ::Thread32First(snapshot.Get(), &entry); more; more = ::Thread32Next(snapshot.Get(), &entry))
        count += entry.th32OwnerProcessID == ::GetCurrentProcessId();
    return count;
}

// One line of a round: what the process holds 2 s after the small movie was done with.
void PrintRound(int round, int big, int small, double afterBig)
{
    ::Sleep(2000);  // what the released graph's threads still hold is let go meanwhile
    const PROCESS_MEMORY_COUNTERS_EX memory = Memory();
    DWORD handles = 0;
    ::GetProcessHandleCount(::GetCurrentProcess(), &handles);
    std::printf("round %d: %d + %d frames | after big %5.0f | after small: working set %5.0f, committed %5.0f MiB, "
                "GDI %lu, handles %lu, threads %d, renderers alive %d\n",
                round, big, small, afterBig, MiB(memory.WorkingSetSize), MiB(memory.PagefileUsage),
                ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS), handles, ThreadCount(), DShowSampleRenderer::LiveCount());
    std::fflush(stdout);
}

// The platform alone: a graph as the platform renders the movie, its video renderer swapped
// for its null renderer (which, added first, would take the file's bytes unparsed), paused,
// sought 16 times (each seek waited out), stopped and released. Returns the seeks that
// reached the paused state.
int BareGraph(const std::wstring& movie)
{
    Microsoft::WRL::ComPtr<IGraphBuilder> graph;
    Microsoft::WRL::ComPtr<IBaseFilter> nullRenderer, videoRenderer;
    if (FAILED(::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, &graph)) ||
        FAILED(::CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, &nullRenderer)))
        return 0;
    if (FAILED(graph->RenderFile(movie.c_str(), nullptr)) || FAILED(graph->FindFilterByName(L"Video Renderer", &videoRenderer)))
        return 0;
    Microsoft::WRL::ComPtr<IPin> rendererInput = FirstPin(videoRenderer.Get(), PINDIR_INPUT), video;
    if (!rendererInput || rendererInput->ConnectedTo(&video) != S_OK) return 0;
    graph->RemoveFilter(videoRenderer.Get());
    graph->AddFilter(nullRenderer.Get(), L"Null Renderer");
    if (FAILED(graph->ConnectDirect(video.Get(), FirstPin(nullRenderer.Get(), PINDIR_INPUT).Get(), nullptr))) return 0;
    Microsoft::WRL::ComPtr<IMediaControl> control;
    Microsoft::WRL::ComPtr<IMediaSeeking> seeking;
    graph->QueryInterface(IID_IMediaControl, &control);
    graph->QueryInterface(IID_IMediaSeeking, &seeking);
    Microsoft::WRL::ComPtr<IMediaFilter> filter;
    if (SUCCEEDED(graph->QueryInterface(IID_IMediaFilter, &filter))) filter->SetSyncSource(nullptr);
    LONGLONG duration = 0;
    seeking->GetDuration(&duration);
    control->Pause();
    int reached = 0;
    for (int i = 1; i <= kFrames; ++i) {
        LONGLONG position = duration * i / (kFrames + 2);
        seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
        OAFilterState state;
        reached += control->GetState(10000, &state) == S_OK;
    }
    control->Stop();
    return reached;
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
    if (!(mode == L"decoder" || mode == L"sheet" || ((mode == L"alternate" || mode == L"bare") && argc > 3))) {
        std::fwprintf(stderr, L"usage: bench-preview-memory decoder|sheet MOVIE, or alternate|bare BIG SMALL\n");
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
    } else if (mode == L"bare") {
        for (int round = 1; round <= kRounds; ++round) {
            const int big = BareGraph(argv[2]);
            const double afterBig = MiB(Memory().WorkingSetSize);
            PrintRound(round, big, BareGraph(argv[3]), afterBig);
        }
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
            for (int round = 1; round <= kRounds; ++round) {
                const int big = MakeSheet(decoder, window, frames, argv[2], ++key);
                const double afterBig = MiB(Memory().WorkingSetSize);
                PrintRound(round, big, MakeSheet(decoder, window, frames, argv[3], ++key), afterBig);
            }
        }
        thread.Stop();
    }
    ::DestroyWindow(window);
    Gdiplus::GdiplusShutdown(token);
    return 0;
}
