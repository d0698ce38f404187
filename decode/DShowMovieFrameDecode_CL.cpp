#include "decode/DShowMovieFrameDecode_CL.h"

#include <uuids.h>

#include <algorithm>
#include <random>

#include "core/Log_CL.h"
#include "core/PathFunctions.h"
#include "decode/DShowMovieFrameDecodeThread_CL.h"
#include "decode/DShowSampleRenderer.h"
#include "core/GdiPlus.h"

using Microsoft::WRL::ComPtr;

DShowMovieFrameDecode_CL::DShowMovieFrameDecode_CL(const GUID& timeFormat)
    : timeFormat(timeFormat), frameEvent(::CreateEventW(nullptr, FALSE, FALSE, nullptr))
{
}

DShowMovieFrameDecode_CL::~DShowMovieFrameDecode_CL()
{
    Finalize();
}

void DShowMovieFrameDecode_CL::Attach(DShowMovieFrameDecodeThread_CL* thread, HWND window)
{
    decodeThread = thread;
    notifyWindow = window;
}

int DShowMovieFrameDecode_CL::RequestMovieFrames(const std::wstring& moviePath, const std::vector<int64_t>& frameTimes,
                                                 int requestKey, int toFront)
{
    return decodeThread ? decodeThread->ASyncMovieFileDecodeRequest(this, moviePath, frameTimes, requestKey, toFront) : -1;
}

HANDLE DShowMovieFrameDecode_CL::GetCancelEvent() const
{
    return decodeThread ? decodeThread->GetCancelEvent() : cancelEvent;
}

bool DShowMovieFrameDecode_CL::IsCanceled() const
{
    const HANDLE cancel = GetCancelEvent();
    return cancel && ::WaitForSingleObject(cancel, 0) == WAIT_OBJECT_0;
}

void DShowMovieFrameDecode_CL::CancelAllRequests()
{
    if (decodeThread) decodeThread->ASyncCancelDecodeAllFrame(this);
}

HRESULT DShowMovieFrameDecode_CL::OpenMovie(const std::wstring& moviePath)
{
    Finalize();
    hasStalled = false;
    openedPath = moviePath;
    if (helper.Initialize(MEDIASUBTYPE_YUY2) != S_OK) return E_FAIL;
    HANDLE cancel = GetCancelEvent();
    HRESULT rendered = helper.RenderFile(ShellPathForm(moviePath), cancel, renderWaitMs);
    if (rendered == E_ABORT) {
        TheLog().Write(L"グラフ構築中断(%s)", moviePath.c_str());
        return E_FAIL;
    }
    if (rendered != S_OK && !helper.HasFilterNamed(L"Video Renderer")) return E_FAIL;
    helper.QueryMediaSeeking();
    IMediaSeeking* seeking = helper.GetMediaSeeking();

    if (SUCCEEDED(helper.GetGraph()->QueryInterface(IID_IMediaEventEx, &mediaEvent))) {
        if (seeking) {
            seeking->SetTimeFormat(&timeFormat);
            seeking->GetDuration(&duration);
        }
        helper.GetGrabber()->SetBufferSamples(TRUE);
        helper.GetGrabber()->SetCallback(&callback, 0);
        mediaEvent->SetNotifyWindow(reinterpret_cast<OAHWND>(notifyWindow), kGraphEventMessage, 0);
    }
    HRESULT video = helper.EditFilterGraphToVideo();
    HRESULT audio = helper.EditFilterGraphToAudio();
    if (video != 0 || audio != 0) return E_FAIL;
    helper.RemoveOtherRenderers();

    ComPtr<IMediaFilter> filter;
    if (SUCCEEDED(helper.GetGraph()->QueryInterface(IID_IMediaFilter, &filter))) filter->SetSyncSource(nullptr);
    FreeMediaType(connectedType.Get());
    if (FAILED(helper.GetGrabber()->GetConnectedMediaType(&connectedType.Get()))) return E_FAIL;
    helper.GetMediaControl()->Run();
    helper.GetMediaControl()->Pause();
    return S_OK;
}

int64_t DShowMovieFrameDecode_CL::GetMovieDuration(const GUID& format)
{
    IMediaSeeking* seeking = helper.GetMediaSeeking();
    if (!seeking) return 0;
    LONGLONG value = 0;
    seeking->SetTimeFormat(&format);
    seeking->GetDuration(&value);
    seeking->SetTimeFormat(&timeFormat);
    return value;
}

void DShowMovieFrameDecode_CL::ResolveFrameTimes(int64_t duration, std::vector<int64_t>& frameTimes)
{
    const int count = static_cast<int>(frameTimes.size());
    const int partitions = count + 2;
    const int64_t step = duration / partitions;
    TheLog().Write(L"ラストフレーム = %I64d, 仕切り = %d, %I64d秒, %I64d分", duration, partitions, duration / 10000000,
                   duration / 600000000);
    TheLog().Write(L"1フレーム = %I64d", step);
    const int64_t percent = duration / 100;
    static std::minstd_rand random(20261207);
    int64_t position = step;
    bool randomUsed = false;
    for (int i = 0; i < count; ++i) {
        int64_t time = frameTimes[i];
        if (time == kRandomPoint) {
            time = int64_t(random() % 100) * percent;
            randomUsed = true;
        } else if (time == kNextEvenPoint) {
            time = position;
        }
        if (time > duration) time = position;
        TheLog().Write(L"[%d]デコードフレーム = %I64d, 仕切り = %d", i, time, partitions);
        frameTimes[i] = time;
        position = std::min(position + step, duration);
    }
    if (randomUsed) std::sort(frameTimes.begin(), frameTimes.end());
}

DShowMovieFrameDecode_CL::FrameWait DShowMovieFrameDecode_CL::WaitForFrame(HANDLE endOfStream)
{
    HANDLE events[3] = {frameEvent.Get(), endOfStream, nullptr};
    DWORD count = 2;
    if (HANDLE cancel = GetCancelEvent()) events[count++] = cancel;
    switch (::WaitForMultipleObjects(count, events, FALSE, kFrameWaitMs)) {
    case WAIT_OBJECT_0:
        return FrameWait::kSample;
    case WAIT_OBJECT_0 + 1:
        return FrameWait::kEndOfStream;
    case WAIT_TIMEOUT:
        return FrameWait::kTimeout;
    default:
        return FrameWait::kCanceled;
    }
}

std::unique_ptr<Gdiplus::Bitmap> DShowMovieFrameDecode_CL::DecodeFrameAt(int64_t time)
{
    IMediaSeeking* seeking = helper.GetMediaSeeking();
    DShowSampleRenderer* renderer = helper.GetRenderer();
    if (!seeking || !renderer) return nullptr;
    // Only a frame that never comes is sought again; a seek past the playable data ends the
    // stream at once and that frame is lost, as is one that came without a usable picture.
    for (int attempt = 0; attempt < kSeekTries; ++attempt) {
        callback.BeginCapture(renderer->GetSegment());
        ::ResetEvent(frameEvent.Get());
        LONGLONG position = time;
        HRESULT result = seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
        if (result != S_OK) continue;
        // The seek returns before the frame arrives: the callback's event says when.
        switch (WaitForFrame(renderer->GetEndOfStreamEvent())) {
        case FrameWait::kSample:
            return callback.TakeImage();
        case FrameWait::kTimeout:
            TheLog().Write(L"フレーム待ちタイムアウト(%I64d)", time);
            continue;
        case FrameWait::kEndOfStream:
            TheLog().Write(L"ストリーム終端(%I64d)", time);
            return nullptr;
        case FrameWait::kCanceled:
            return nullptr;
        }
    }
    hasStalled = true;
    return nullptr;
}

void DShowMovieFrameDecode_CL::Finalize()
{
    if (mediaEvent) {
        mediaEvent->SetNotifyWindow(0, 0, 0);
        mediaEvent.Reset();
    }
    if (!helper.StopAndReleaseAll(kStopWaitMs)) TheLog().Write(L"グラフ停止中断(%s)", openedPath.c_str());
    FreeMediaType(connectedType.Get());
    connectedType.Get() = AM_MEDIA_TYPE{};
    duration = 0;
    openedPath.clear();
}
