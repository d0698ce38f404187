#pragma once
#include <windows.h>
#include <dshow.h>
#include <dvdmedia.h>

#include <wrl/client.h>

#include <atomic>
#include <cstdint>

#include "core/UniqueHandle.h"
#include "decode/DShowFilterBase_CL.h"
#include "decode/MediaType.h"

#include "decode/SampleGrabberInterfaces.h"

// The program's own video renderer: the end of the video stream in the preview graph. It
// shows nothing. While the graph is paused, the first sample after each seek (or after the
// pause) goes to the callback (OnReceiveFirstSample) and is held, blocking the stream,
// until the graph runs, stops or flushes. Accepts YUY2 (the subtype set through
// ISampleGrabber::SetMediaType) or RGB32 with a VIDEOINFOHEADER(2) format block, and
// keeps the connection's format as a 112-byte VIDEOINFOHEADER2.
//
// Just enough of a filter and an input pin for that; seeking is passed to the upstream pin
// so that the graph can seek. The filter holds no counted reference to its graph.
class DShowSampleRenderer final : public DShowFilterBase_CL, public IMediaSeeking {
public:
    static const CLSID kClassId;
    static constexpr wchar_t kFilterName[] = L"DShowSample Renderer Filter";

    DShowSampleRenderer();
    // Renderers not yet destroyed, in the whole process: one outliving its graph's release
    // means the graph, and the platform's buffers behind it, were never let go.
    static int LiveCount() { return live; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IMediaFilter: the rest of IBaseFilter is DShowFilterBase_CL's
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;
    HRESULT STDMETHODCALLTYPE GetState(DWORD timeoutMs, FILTER_STATE* state) override;
    // IMediaSeeking: passed to the upstream output pin
    HRESULT STDMETHODCALLTYPE GetCapabilities(DWORD* capabilities) override;
    HRESULT STDMETHODCALLTYPE CheckCapabilities(DWORD* capabilities) override;
    HRESULT STDMETHODCALLTYPE IsFormatSupported(const GUID* format) override;
    HRESULT STDMETHODCALLTYPE QueryPreferredFormat(GUID* format) override;
    HRESULT STDMETHODCALLTYPE GetTimeFormat(GUID* format) override;
    HRESULT STDMETHODCALLTYPE IsUsingTimeFormat(const GUID* format) override;
    HRESULT STDMETHODCALLTYPE SetTimeFormat(const GUID* format) override;
    HRESULT STDMETHODCALLTYPE GetDuration(LONGLONG* duration) override;
    HRESULT STDMETHODCALLTYPE GetStopPosition(LONGLONG* stop) override;
    HRESULT STDMETHODCALLTYPE GetCurrentPosition(LONGLONG* current) override;
    HRESULT STDMETHODCALLTYPE ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                                const GUID* sourceFormat) override;
    HRESULT STDMETHODCALLTYPE SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                                           DWORD stopFlags) override;
    HRESULT STDMETHODCALLTYPE GetPositions(LONGLONG* current, LONGLONG* stop) override;
    HRESULT STDMETHODCALLTYPE GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
    HRESULT STDMETHODCALLTYPE SetRate(double rate) override;
    HRESULT STDMETHODCALLTYPE GetRate(double* rate) override;
    HRESULT STDMETHODCALLTYPE GetPreroll(LONGLONG* preroll) override;

    // What the capture side sets and reads (through DShowSampleRendererISampleGrabber_CL).
    void SetAcceptedSubtype(const GUID& subtype);
    HRESULT CopyConnectionMediaType(AM_MEDIA_TYPE& out);
    void SetCallback(ISampleGrabberCB* callback);
    int IsRGB32() const { return isRGB32; }
    // Segments are counted up by every flush (a seek) and stop; a sample belongs to the
    // segment in which it was received. The callback reads the sample's own segment.
    uint64_t GetSegment();
    uint64_t GetReceivedSegment() const { return receivedSegment; }
    // Set while the stream has ended in the current segment (a seek past the playable data).
    HANDLE GetEndOfStreamEvent() const { return endOfStream.Get(); }
    // The media types this renderer takes (S_OK) or refuses (S_FALSE).
    HRESULT CheckMediaType(const AM_MEDIA_TYPE& type) const;

private:
    class InputPin;
    friend class InputPin;

    ~DShowSampleRenderer() override;
    IPin* Pin() override;
    HRESULT SetMediaType(const AM_MEDIA_TYPE& type);
    HRESULT Receive(IMediaSample* sample);
    void OnReceiveFirstSample(IMediaSample* sample);
    void ReleaseHeldSample();
    void NotifyComplete();
    Microsoft::WRL::ComPtr<IMediaSeeking> UpstreamSeeking();

    static inline std::atomic<int> live{0};
    std::atomic<ULONG> references{1};
    CRITICAL_SECTION lock;
    FILTER_STATE state = State_Stopped;
    InputPin* pin;  // part of this object; its references are the filter's
    Microsoft::WRL::ComPtr<IPin> connectedPin;
    bool isFlushing = false;
    bool hasFirstSample = false;  // a sample was taken since the last pause, seek or stop
    bool isAtEndOfStream = false;
    KernelHandle releaseHeld;     // manual-reset: lets a held sample go
    KernelHandle cued;            // manual-reset: a paused renderer has its sample (or the end)
    KernelHandle endOfStream;     // manual-reset: the end of the stream came in this segment
    uint64_t segment = 0;
    uint64_t receivedSegment = 0;  // written and read on the streaming thread only
    GUID acceptedSubtype;
    AM_MEDIA_TYPE connectionType = {};
    VIDEOINFOHEADER2 header = {};
    int frameWidth = 0;
    int frameHeight = 0;
    int isRGB32 = 0;
    Microsoft::WRL::ComPtr<ISampleGrabberCB> callback;
};
