#pragma once
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "core/Semapho_CL.h"
#include "core/ThreadBase_CL.h"
#include "decode/MovieDecodoRequestItem_CL.h"

class DShowMovieFrameDecode_CL;

// The one preview decode thread: a queue of movie requests, each decoded into one posted
// MSG_DECODE_RESULT per frame time (the error image standing in for frames that failed).
// Lock order: decodeLock, then queueLock; the main thread only takes queueLock.
class DShowMovieFrameDecodeThread_CL : public ThreadBase_CL {
public:
    static constexpr int kPixelFormat16bppRGB565 = 0x21006;
    static constexpr int kInterpolationLowQuality = 1;
    static constexpr DWORD kRenderGraceMs = 2000;  // for a graph given up on by the stop

    DShowMovieFrameDecodeThread_CL(int framePixelFormat = kPixelFormat16bppRGB565,
                                   int interpolationMode = kInterpolationLowQuality);
    ~DShowMovieFrameDecodeThread_CL() override;

    void SetErrorImagePath(const std::wstring& path) { errorImagePath = path; }
    void Stop() override;
    int OnThreadMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Main thread. The request id, or -1 while a cancellation is pending.
    int ASyncMovieFileDecodeRequest(DShowMovieFrameDecode_CL* decoder, const std::wstring& moviePath,
                                    const std::vector<int64_t>& frameTimes, int requestKey, int toFront);
    // Main thread; does not wait. Null cancels every decoder's requests.
    int ASyncCancelDecodeAllFrame(DShowMovieFrameDecode_CL* decoder);
    int IsCancelPending() const { return isCancelPending > 0 ? 1 : 0; }
    // Set from a cancel request until the thread has carried it out: a decoder waiting for
    // a frame wakes on it, so a cancel never waits for a frame that does not come.
    HANDLE GetCancelEvent() const { return cancelEvent.Get(); }
    // The id after `id`: ids count up, wrap, and never take 0.
    static int FollowingRequestId(int id);
    int GetQueueLength();

private:
    void DecodeStep();
    void CancelRequests(DShowMovieFrameDecode_CL* decoder);
    void AcknowledgeCancel();
    void PostFrame(MovieDecodoRequestItem_CL& request, std::unique_ptr<Gdiplus::Bitmap> image);
    std::unique_ptr<Gdiplus::Bitmap> CopyFrame(Gdiplus::Bitmap& image) const;

    Semapho_CL queueLock;
    Semapho_CL decodeLock;
    std::list<std::unique_ptr<MovieDecodoRequestItem_CL>> requestQueue;
    volatile LONG isDecodeRequestPosted = 0;
    int nextRequestId = 1;
    MovieDecodoRequestItem_CL* currentRequest = nullptr;
    int isComInitialized = 0;
    int interpolationMode;
    int framePixelFormat;
    std::wstring errorImagePath;
    volatile LONG isCancelPending = 0;  // cancels asked for and not yet carried out
    KernelHandle cancelEvent;
};
