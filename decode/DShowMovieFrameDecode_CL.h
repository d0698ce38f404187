#pragma once
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/UniqueHandle.h"
#include "decode/DShowMovieHelper_CL.h"
#include "decode/FrameDecodeSampleGrabberCB.h"
#include "decode/MediaType.h"

namespace Gdiplus {
class Bitmap;
}
class DShowMovieFrameDecodeThread_CL;

// The decoder: opens a movie as a paused filter graph, reports its duration and gives the
// frame at any time by seeking the paused graph and waiting for the capture renderer. It is
// also the client of the decode thread: results of its requests go to its notify window.
class DShowMovieFrameDecode_CL {
public:
    static constexpr UINT kGraphEventMessage = 0x3733;
    static constexpr DWORD kFrameWaitMs = 10000;
    static constexpr DWORD kRenderWaitMs = 20000;  // for DirectShow to build the graph of a movie
    static constexpr DWORD kStopWaitMs = 5000;     // to stop and release one (a sound one takes about 1 ms,
                                                   // a thread and COM for it a second on a busy machine)
    static constexpr int kSeekTries = 3;
    static constexpr int64_t kRandomPoint = -2, kNextEvenPoint = -1;

    explicit DShowMovieFrameDecode_CL(const GUID& timeFormat = TIME_FORMAT_MEDIA_TIME);
    ~DShowMovieFrameDecode_CL();
    DShowMovieFrameDecode_CL(const DShowMovieFrameDecode_CL&) = delete;
    DShowMovieFrameDecode_CL& operator=(const DShowMovieFrameDecode_CL&) = delete;

    void Attach(DShowMovieFrameDecodeThread_CL* thread, HWND window);
    int RequestMovieFrames(const std::wstring& moviePath, const std::vector<int64_t>& frameTimes, int requestKey,
                           int toFront);
    void CancelAllRequests();

    HRESULT OpenMovie(const std::wstring& moviePath);
    void SetRenderWait(DWORD milliseconds) { renderWaitMs = milliseconds; }
    // For a decoder used without the decode thread: an event that, once set, ends the graph
    // building and the wait for a frame as the thread's cancel does. Not owned.
    void SetCancelEvent(HANDLE event) { cancelEvent = event; }
    int64_t GetMovieDuration(const GUID& format);
    // The frame at `time` (100 ns); null when it cannot be had (after three seeks whose
    // frame never came, at the end of the stream, or on a cancel). The caller owns it.
    std::unique_ptr<Gdiplus::Bitmap> DecodeFrameAt(int64_t time);
    // Releases the graph; one whose stop hangs is left behind after kStopWaitMs and logged.
    void Finalize();
    // Whether a frame never came in three seeks since the movie was opened: the graph is
    // stuck, and seeking it again would only wait as long once more.
    bool HasStalled() const { return hasStalled; }

    // Replaces -1 (next evenly spaced point), -2 (random point) and times past the end by
    // points of `duration` split into n + 2 parts, logging each; sorted when any was random.
    static void ResolveFrameTimes(int64_t duration, std::vector<int64_t>& frameTimes);

    // Whether the cancel event (the decode thread's, or the one set) is set.
    bool IsCanceled() const;
    HWND GetNotifyWindow() const { return notifyWindow; }
    int pendingCount = 0;  // requests queued or being decoded; changed under the queue lock

    // For the frame callback.
    const AM_MEDIA_TYPE& GetConnectedMediaType() const { return connectedType.Get(); }
    DShowSampleRenderer* GetRenderer() const { return helper.GetRenderer(); }
    HANDLE GetFrameEvent() const { return frameEvent.Get(); }
    DShowMovieHelper_CL& GetHelper() { return helper; }

private:
    enum class FrameWait { kSample, kEndOfStream, kCanceled, kTimeout };
    // Waits for the captured sample, the end of the stream or a cancel of the decode thread.
    FrameWait WaitForFrame(HANDLE endOfStream);
    HANDLE GetCancelEvent() const;

    DShowMovieHelper_CL helper;
    FrameDecodeSampleGrabberCB callback{*this};
    MediaType connectedType;
    Microsoft::WRL::ComPtr<IMediaEventEx> mediaEvent;
    DShowMovieFrameDecodeThread_CL* decodeThread = nullptr;
    HWND notifyWindow = nullptr;
    GUID timeFormat;
    int64_t duration = 0;
    KernelHandle frameEvent;
    bool hasStalled = false;
    DWORD renderWaitMs = kRenderWaitMs;
    HANDLE cancelEvent = nullptr;
    std::wstring openedPath;  // for the log
};
