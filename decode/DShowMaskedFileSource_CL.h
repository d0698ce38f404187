#pragma once
#include <windows.h>
#include <dshow.h>

#include <atomic>
#include <deque>
#include <mutex>

#include "core/UniqueHandle.h"
#include "decode/DShowFilterBase_CL.h"
#include "decode/VideoTrackMask_CL.h"

// A file source for the preview graph: serves a movie file to a parser through
// IAsyncReader, as the platform's file source does, with a VideoTrackMask_CL applied to
// every read. Its one output pin offers a byte stream (MEDIATYPE_Stream).
class DShowMaskedFileSource_CL final : public DShowFilterBase_CL {
public:
    static const CLSID kClassId;

    // Takes the open file (read access) and its mask.
    DShowMaskedFileSource_CL(FileHandle file, VideoTrackMask_CL mask);

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override;
    // IMediaFilter: the rest of IBaseFilter is DShowFilterBase_CL's
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;
    HRESULT STDMETHODCALLTYPE GetState(DWORD timeoutMs, FILTER_STATE* state) override;

    IPin* GetOutputPin() { return Pin(); }

private:
    class OutputPin;
    friend class OutputPin;

    ~DShowMaskedFileSource_CL() override;
    IPin* Pin() override;
    // A read at `offset`, masked; S_FALSE when the file ends first (`read` says how much came).
    HRESULT Read(LONGLONG offset, LONG size, BYTE* data, LONG& read);

    std::atomic<ULONG> references{1};
    std::mutex lock;
    FILTER_STATE state = State_Stopped;
    OutputPin* pin;  // part of this object; its references are the filter's
    FileHandle file;
    LONGLONG fileSize = 0;
    VideoTrackMask_CL mask;
};
