#include "decode/DShowMovieFrameDecodeThread_CL.h"

#include <objbase.h>

#include "core/AppMessages.h"
#include "decode/DShowMovieFrameDecode_CL.h"
#include "decode/DShowMovieHelper_CL.h"
#include "core/GdiPlus.h"

DShowMovieFrameDecodeThread_CL::DShowMovieFrameDecodeThread_CL(int framePixelFormat, int interpolationMode)
    : interpolationMode(interpolationMode),
      framePixelFormat(framePixelFormat),
      cancelEvent(::CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
}

DShowMovieFrameDecodeThread_CL::~DShowMovieFrameDecodeThread_CL()
{
    Stop();
}

void DShowMovieFrameDecodeThread_CL::Stop()
{
    if (IsThreadRunning()) ASyncCancelDecodeAllFrame(nullptr);
    ThreadBase_CL::Stop();
    // A graph the stop gave up on mostly finishes within a moment; one stuck for good is
    // left after a short wait.
    DShowMovieHelper_CL::WaitForGraphThreads(kRenderGraceMs);
}

int DShowMovieFrameDecodeThread_CL::FollowingRequestId(int id)
{
    int next = static_cast<int>(static_cast<unsigned>(id) + 1u);
    return next == 0 ? 1 : next;
}

int DShowMovieFrameDecodeThread_CL::GetQueueLength()
{
    Semapho_CL::Lock_CL guard(queueLock, L"ASyncMovieFileDecodeRequest");
    return static_cast<int>(requestQueue.size());
}

int DShowMovieFrameDecodeThread_CL::ASyncMovieFileDecodeRequest(DShowMovieFrameDecode_CL* decoder,
                                                                const std::wstring& moviePath,
                                                                const std::vector<int64_t>& frameTimes, int requestKey,
                                                                int toFront)
{
    if (isCancelPending) return -1;
    Semapho_CL::Lock_CL guard(queueLock, L"ASyncMovieFileDecodeRequest");
    if (currentRequest && currentRequest->requestKey == requestKey) return currentRequest->requestId;
    for (auto it = requestQueue.begin(); it != requestQueue.end(); ++it) {
        if ((*it)->requestKey != requestKey) continue;
        --(*it)->decoder->pendingCount;
        requestQueue.erase(it);
        break;
    }

    auto request = std::make_unique<MovieDecodoRequestItem_CL>();
    request->requestId = nextRequestId;
    nextRequestId = FollowingRequestId(nextRequestId);
    request->decoder = decoder;
    request->requestKey = requestKey;
    request->moviePath = moviePath;
    request->frameTimes = frameTimes;
    int id = request->requestId;
    if (toFront == 1)
        requestQueue.push_front(std::move(request));
    else
        requestQueue.push_back(std::move(request));
    ++decoder->pendingCount;
    if (!isDecodeRequestPosted) {
        isDecodeRequestPosted = 1;
        Post(WM_ORG_DECODE_REQ, 0, 0);
    }
    return id;
}

int DShowMovieFrameDecodeThread_CL::ASyncCancelDecodeAllFrame(DShowMovieFrameDecode_CL* decoder)
{
    ::InterlockedIncrement(&isCancelPending);  // before the message that it announces
    ::SetEvent(cancelEvent.Get());
    // No thread to carry it out (never started, or stopped): nothing is decoding.
    if (!Post(MSG_DECODE_CANCEL, 0, reinterpret_cast<LPARAM>(decoder))) AcknowledgeCancel();
    return 0;
}

void DShowMovieFrameDecodeThread_CL::AcknowledgeCancel()
{
    // Counted, not a flag: with two cancels queued, the first one's end must not let a
    // request in that the second one would then remove unseen.
    ::ResetEvent(cancelEvent.Get());
    if (::InterlockedDecrement(&isCancelPending) > 0) ::SetEvent(cancelEvent.Get());
}

int DShowMovieFrameDecodeThread_CL::OnThreadMessage(UINT message, WPARAM, LPARAM lParam)
{
    if (message == WM_ORG_DECODE_REQ) DecodeStep();
    if (message == MSG_DECODE_CANCEL) CancelRequests(reinterpret_cast<DShowMovieFrameDecode_CL*>(lParam));
    return 0;
}

std::unique_ptr<Gdiplus::Bitmap> DShowMovieFrameDecodeThread_CL::CopyFrame(Gdiplus::Bitmap& image) const
{
    int width = static_cast<int>(image.GetWidth()), height = static_cast<int>(image.GetHeight());
    auto copy = std::make_unique<Gdiplus::Bitmap>(width, height, static_cast<Gdiplus::PixelFormat>(framePixelFormat));
    if (copy->GetLastStatus() != Gdiplus::Ok) return nullptr;
    Gdiplus::Graphics graphics(copy.get());
    graphics.SetInterpolationMode(static_cast<Gdiplus::InterpolationMode>(interpolationMode));
    graphics.DrawImage(&image, 0, 0, width, height);
    return copy;
}

void DShowMovieFrameDecodeThread_CL::PostFrame(MovieDecodoRequestItem_CL& request, std::unique_ptr<Gdiplus::Bitmap> image)
{
    std::unique_ptr<MovieDecodoRequestItem_CL> result = request.CopyWithoutImage();
    if (!image) {
        image.reset(Gdiplus::Bitmap::FromFile(errorImagePath.c_str()));
        result->isErrorImage = 1;
    }
    if (image && image->GetLastStatus() == Gdiplus::Ok) result->image = CopyFrame(*image);
    {
        Semapho_CL::Lock_CL guard(queueLock, L"WM_ORG_DECODE_REQ2");
        result->queueLength = static_cast<int>(requestQueue.size());
    }
    MovieDecodoRequestItem_CL* posted = result.release();
    // The receiver owns the result; if the post fails nobody will, so it is freed here.
    if (!::PostMessageW(request.decoder->GetNotifyWindow(), MSG_DECODE_RESULT, static_cast<WPARAM>(request.requestId),
                        reinterpret_cast<LPARAM>(posted)))
        delete posted;
}

void DShowMovieFrameDecodeThread_CL::DecodeStep()
{
    isDecodeRequestPosted = 0;
    if (isCancelPending) return;
    Semapho_CL::Lock_CL decoding(decodeLock, L"WM_ORG_DECODE_REQ");
    std::unique_ptr<MovieDecodoRequestItem_CL> request;
    {
        Semapho_CL::Lock_CL guard(queueLock, L"WM_ORG_DECODE_REQ2");
        if (requestQueue.empty()) return;
        request = std::move(requestQueue.front());
        requestQueue.pop_front();
        currentRequest = request.get();
    }
    if (!isComInitialized) {
        ::CoInitialize(nullptr);
        isComInitialized = 1;
    }

    DShowMovieFrameDecode_CL& decoder = *request->decoder;
    const bool opened = decoder.OpenMovie(request->moviePath) == S_OK;
    if (opened) {
        request->duration = decoder.GetMovieDuration(TIME_FORMAT_MEDIA_TIME);
        DShowMovieFrameDecode_CL::ResolveFrameTimes(request->duration, request->frameTimes);
    }
    const std::vector<int64_t> times = request->frameTimes;
    for (int64_t time : times) {
        // A lost frame (past the playable data) gets the error image and the next one is
        // tried; once the graph has stalled, every later frame gets the error image.
        std::unique_ptr<Gdiplus::Bitmap> image;
        if (opened && !decoder.HasStalled() && !isCancelPending) image = decoder.DecodeFrameAt(time);
        ++request->frameNumber;
        if (!isCancelPending) PostFrame(*request, std::move(image));
    }

    Semapho_CL::Lock_CL guard(queueLock, L"WM_ORG_DECODE_REQ2");
    currentRequest = nullptr;
    if (--decoder.pendingCount > 0 && !isCancelPending) {
        Post(WM_ORG_DECODE_REQ, 0, 0);
    } else {
        isDecodeRequestPosted = 0;
    }
}

void DShowMovieFrameDecodeThread_CL::CancelRequests(DShowMovieFrameDecode_CL* decoder)
{
    Semapho_CL::Lock_CL decoding(decodeLock, L"ASyncCancelDecodeAllFrame");
    {
        Semapho_CL::Lock_CL guard(queueLock, L"ASyncCancelDecodeAllFrame2");
        for (auto it = requestQueue.begin(); it != requestQueue.end();) {
            if (decoder && (*it)->decoder != decoder) {
                ++it;
                continue;
            }
            if (decoder) --decoder->pendingCount;
            it = requestQueue.erase(it);
        }
        if (decoder) decoder->pendingCount = 0;
    }
    if (decoder) ::PostMessageW(decoder->GetNotifyWindow(), MSG_DECODE_CANCELED, static_cast<WPARAM>(-1),
                                reinterpret_cast<LPARAM>(decoder));
    isDecodeRequestPosted = 0;
    AcknowledgeCancel();
}
