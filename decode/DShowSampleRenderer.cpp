#include "decode/DShowSampleRenderer.h"

#include <dvdmedia.h>
#include <evcode.h>
#include <uuids.h>
#include <vfwmsgs.h>

#include <cstring>
#include <cwchar>

#include "decode/ComObject.h"
#include "decode/DShowSampleRendererISampleGrabber_CL.h"
#include "decode/MediaTypeEnumerator.h"

using Microsoft::WRL::ComPtr;

// {99F56865-F7DD-4ACB-9DB9-C1F3C537CF1F}
const CLSID DShowSampleRenderer::kClassId = {0x99F56865, 0xF7DD, 0x4ACB, {0x9D, 0xB9, 0xC1, 0xF3, 0xC5, 0x37, 0xCF, 0x1F}};

namespace {

class Locked {
public:
    explicit Locked(CRITICAL_SECTION& section) : section(section) { ::EnterCriticalSection(&section); }
    ~Locked() { ::LeaveCriticalSection(&section); }

private:
    CRITICAL_SECTION& section;
};

constexpr wchar_t kPinName[] = L"In";

}  // namespace

// The one input pin; it lives inside the filter and counts its references there.
class DShowSampleRenderer::InputPin final : public IPin, public IMemInputPin {
public:
    explicit InputPin(DShowSampleRenderer& filter) : filter(filter) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        return QueryEitherInterface<IPin, IMemInputPin>(this, iid, IID_IPin, IID_IMemInputPin, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return filter.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return filter.Release(); }

    // IPin
    HRESULT STDMETHODCALLTYPE Connect(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override
    {
        if (!connector || !type) return E_POINTER;
        Locked guard(filter.lock);
        if (filter.connectedPin) return VFW_E_ALREADY_CONNECTED;
        if (filter.state != State_Stopped) return VFW_E_NOT_STOPPED;
        if (filter.CheckMediaType(*type) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
        HRESULT result = filter.SetMediaType(*type);
        if (FAILED(result)) return result;
        filter.connectedPin = connector;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Disconnect() override
    {
        Locked guard(filter.lock);
        if (!filter.connectedPin) return S_FALSE;
        filter.connectedPin.Reset();
        FreeMediaType(filter.connectionType);
        filter.isRGB32 = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override
    {
        if (!pin) return E_POINTER;
        Locked guard(filter.lock);
        *pin = filter.connectedPin.Get();
        if (!*pin) return VFW_E_NOT_CONNECTED;
        (*pin)->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* type) override
    {
        if (!type) return E_POINTER;
        Locked guard(filter.lock);
        if (!filter.connectedPin) {
            *type = AM_MEDIA_TYPE{};
            return VFW_E_NOT_CONNECTED;
        }
        return CopyMediaType(*type, filter.connectionType);
    }
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override { return filter.DescribePin(PINDIR_INPUT, info); }
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) override
    {
        if (!direction) return E_POINTER;
        *direction = PINDIR_INPUT;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override { return filter.CopyPinId(id); }
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* type) override
    {
        return type ? filter.CheckMediaType(*type) : E_POINTER;
    }
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override;
    HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EndOfStream() override
    {
        {
            Locked guard(filter.lock);
            if (filter.isFlushing) return S_FALSE;
            filter.isAtEndOfStream = true;
            ::SetEvent(filter.cued.Get());
            ::SetEvent(filter.endOfStream.Get());
            if (filter.state != State_Running) return S_OK;
        }
        filter.NotifyComplete();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE BeginFlush() override
    {
        Locked guard(filter.lock);
        filter.isFlushing = true;
        filter.ReleaseHeldSample();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EndFlush() override
    {
        Locked guard(filter.lock);
        filter.isFlushing = false;
        filter.isAtEndOfStream = false;
        filter.hasFirstSample = false;  // the sample after a seek is a first sample again
        ++filter.segment;
        ::ResetEvent(filter.cued.Get());
        ::ResetEvent(filter.endOfStream.Get());
        ::ResetEvent(filter.releaseHeld.Get());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return S_OK; }

    // IMemInputPin: the upstream pin brings its own allocator.
    HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator**) override { return VFW_E_NO_ALLOCATOR; }
    HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator*, BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override { return filter.Receive(sample); }
    HRESULT STDMETHODCALLTYPE ReceiveMultiple(IMediaSample** samples, long count, long* processed) override
    {
        HRESULT result = S_OK;
        *processed = 0;
        for (long i = 0; i < count && result == S_OK; ++i, ++*processed) result = filter.Receive(samples[i]);
        return result;
    }
    HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override { return S_OK; }

private:
    DShowSampleRenderer& filter;
};

HRESULT STDMETHODCALLTYPE DShowSampleRenderer::InputPin::EnumMediaTypes(IEnumMediaTypes** types)
{
    if (!types) return E_POINTER;
    // The pin proposes no media type of its own: the upstream pin offers, the renderer accepts.
    *types = new (std::nothrow) MediaTypeEnumerator(nullptr);
    return *types ? S_OK : E_OUTOFMEMORY;
}

DShowSampleRenderer::DShowSampleRenderer()
    : DShowFilterBase_CL(kClassId, kPinName),
      pin(new InputPin(*this)),
      releaseHeld(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      cued(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      endOfStream(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      acceptedSubtype(MEDIASUBTYPE_YUY2)
{
    ::InitializeCriticalSection(&lock);
    ++live;
}

DShowSampleRenderer::~DShowSampleRenderer()
{
    FreeMediaType(connectionType);
    delete pin;
    ::DeleteCriticalSection(&lock);
    --live;
}

HRESULT STDMETHODCALLTYPE DShowSampleRenderer::QueryInterface(REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == kIidSampleGrabber) {
        auto* grabber = new (std::nothrow) DShowSampleRendererISampleGrabber_CL(*this);
        if (!grabber) return E_OUTOFMEMORY;
        *out = static_cast<ISampleGrabber*>(grabber);
        return S_OK;
    }
    if (iid == IID_IUnknown || iid == IID_IPersist || iid == IID_IMediaFilter || iid == IID_IBaseFilter)
        *out = static_cast<IBaseFilter*>(this);
    else if (iid == IID_IMediaSeeking)
        *out = static_cast<IMediaSeeking*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE DShowSampleRenderer::AddRef()
{
    return ++references;
}

ULONG STDMETHODCALLTYPE DShowSampleRenderer::Release()
{
    ULONG left = --references;
    if (!left) delete this;
    return left;
}

IPin* DShowSampleRenderer::Pin()
{
    return pin;
}

void DShowSampleRenderer::ReleaseHeldSample()
{
    ::SetEvent(releaseHeld.Get());
}

HRESULT STDMETHODCALLTYPE DShowSampleRenderer::Stop()
{
    Locked guard(lock);
    state = State_Stopped;
    hasFirstSample = false;
    isAtEndOfStream = false;
    ++segment;
    ::ResetEvent(cued.Get());
    ::ResetEvent(endOfStream.Get());
    ReleaseHeldSample();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DShowSampleRenderer::Pause()
{
    Locked guard(lock);
    if (state == State_Stopped) {
        hasFirstSample = false;
        isAtEndOfStream = false;
        ::ResetEvent(cued.Get());
    }
    // The next sample is held again; an unconnected renderer has nothing to wait for.
    ::ResetEvent(releaseHeld.Get());
    state = State_Paused;
    if (!connectedPin) ::SetEvent(cued.Get());
    return ::WaitForSingleObject(cued.Get(), 0) == WAIT_OBJECT_0 ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE DShowSampleRenderer::Run(REFERENCE_TIME)
{
    Locked guard(lock);
    state = State_Running;
    ReleaseHeldSample();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DShowSampleRenderer::GetState(DWORD timeoutMs, FILTER_STATE* current)
{
    if (!current) return E_POINTER;
    FILTER_STATE now;
    {
        Locked guard(lock);
        now = state;
    }
    *current = now;
    if (now != State_Paused) return S_OK;
    // A paused renderer is in its state once it holds a sample (or the stream ended).
    return ::WaitForSingleObject(cued.Get(), timeoutMs) == WAIT_OBJECT_0 ? S_OK : VFW_S_STATE_INTERMEDIATE;
}

void DShowSampleRenderer::NotifyComplete()
{
    ComPtr<IMediaEventSink> sink;
    IFilterGraph* currentGraph = Graph();
    if (currentGraph && SUCCEEDED(currentGraph->QueryInterface(IID_IMediaEventSink, &sink)))
        sink->Notify(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)));
}

HRESULT DShowSampleRenderer::CheckMediaType(const AM_MEDIA_TYPE& type) const
{
    bool knownFormat = type.formattype == FORMAT_VideoInfo || type.formattype == FORMAT_VideoInfo2;
    bool knownSubtype = type.subtype == acceptedSubtype || type.subtype == MEDIASUBTYPE_RGB32;
    return knownFormat && knownSubtype ? S_OK : S_FALSE;
}

HRESULT DShowSampleRenderer::SetMediaType(const AM_MEDIA_TYPE& type)
{
    FreeMediaType(connectionType);
    HRESULT result = CopyMediaType(connectionType, type);
    if (FAILED(result)) return result;
    header = VIDEOINFOHEADER2{};
    if (type.formattype == FORMAT_VideoInfo2 && type.cbFormat >= sizeof(VIDEOINFOHEADER2) && type.pbFormat) {
        memcpy(&header, type.pbFormat, sizeof(header));
    } else if (type.formattype == FORMAT_VideoInfo && type.cbFormat >= sizeof(VIDEOINFOHEADER) && type.pbFormat) {
        const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
        header.rcSource = info->rcSource;
        header.rcTarget = info->rcTarget;
        header.dwBitRate = info->dwBitRate;
        header.dwBitErrorRate = info->dwBitErrorRate;
        header.AvgTimePerFrame = info->AvgTimePerFrame;
        header.bmiHeader = info->bmiHeader;
        // Whatever came upstream, the connection reports a VIDEOINFOHEADER2.
        auto* block = static_cast<BYTE*>(::CoTaskMemAlloc(sizeof(VIDEOINFOHEADER2)));
        if (!block) return E_OUTOFMEMORY;
        memcpy(block, &header, sizeof(header));
        ::CoTaskMemFree(connectionType.pbFormat);
        connectionType.pbFormat = block;
        connectionType.cbFormat = sizeof(VIDEOINFOHEADER2);
        connectionType.formattype = FORMAT_VideoInfo2;
    }
    isRGB32 = type.subtype == MEDIASUBTYPE_RGB32 ? 1 : 0;
    frameWidth = header.bmiHeader.biWidth < 0 ? -header.bmiHeader.biWidth : header.bmiHeader.biWidth;
    frameHeight = header.bmiHeader.biHeight;
    return S_OK;
}

HRESULT DShowSampleRenderer::Receive(IMediaSample* sample)
{
    if (!sample) return E_POINTER;
    {
        Locked guard(lock);
        if (isFlushing) return S_FALSE;
        if (state == State_Stopped) return VFW_E_WRONG_STATE;
        if (state == State_Running || hasFirstSample) return S_OK;  // rendered: dropped
        hasFirstSample = true;
        receivedSegment = segment;
    }
    OnReceiveFirstSample(sample);
    ::SetEvent(cued.Get());
    // Hold the stream here until the graph runs, stops or flushes; otherwise the splitter
    // would decode on to the end of the file after every seek.
    ::WaitForSingleObject(releaseHeld.Get(), INFINITE);
    return S_OK;
}

uint64_t DShowSampleRenderer::GetSegment()
{
    Locked guard(lock);
    return segment;
}

void DShowSampleRenderer::OnReceiveFirstSample(IMediaSample* sample)
{
    ComPtr<ISampleGrabberCB> current;
    {
        Locked guard(lock);
        current = callback;
    }
    if (current) current->SampleCB(0.0, sample);
}

void DShowSampleRenderer::SetAcceptedSubtype(const GUID& subtype)
{
    Locked guard(lock);
    acceptedSubtype = subtype;
}

HRESULT DShowSampleRenderer::CopyConnectionMediaType(AM_MEDIA_TYPE& out)
{
    Locked guard(lock);
    if (!connectedPin) return VFW_E_NOT_CONNECTED;
    return CopyMediaType(out, connectionType);
}

void DShowSampleRenderer::SetCallback(ISampleGrabberCB* newCallback)
{
    Locked guard(lock);
    callback = newCallback;
}

ComPtr<IMediaSeeking> DShowSampleRenderer::UpstreamSeeking()
{
    ComPtr<IMediaSeeking> seeking;
    ComPtr<IPin> upstream;
    {
        Locked guard(lock);
        upstream = connectedPin;
    }
    if (upstream) upstream->QueryInterface(IID_IMediaSeeking, &seeking);
    return seeking;
}

#define QUILLMERE_FORWARD_SEEKING(call)                  \
    ComPtr<IMediaSeeking> seeking = UpstreamSeeking();    \
    return seeking ? seeking->call : E_NOTIMPL;

HRESULT STDMETHODCALLTYPE DShowSampleRenderer::GetCapabilities(DWORD* c) { QUILLMERE_FORWARD_SEEKING(GetCapabilities(c)) }
HRESULT STDMETHODCALLTYPE DShowSampleRenderer::CheckCapabilities(DWORD* c) { QUILLMERE_FORWARD_SEEKING(CheckCapabilities(c)) }
HRESULT STDMETHODCALLTYPE DShowSampleRenderer::IsFormatSupported(const GUID* f) { QUILLMERE_FORWARD_SEEKING(IsFormatSupported(f)) }
HRESULT STDMETHODCALLTYPE DShowSampleRenderer::QueryPreferredFormat(GUID* f) { QUILLMERE_FORWARD_SEEKING(QueryPreferredFormat(f)) }
HRESULT STDMETHODCALLTYPE DShowSampleRenderer::GetTimeFormat(GUID* f) { QUILLMERE_FORWARD_SEEKING(GetTimeFormat(f)) }
HRESULT STDMETHODCALLTYPE DShowSampleRenderer::IsUsingTimeFormat(const GUID* f) { QUILLMERE_FORWARD_SEEKING(IsUsingTimeFormat(f)) }
HRESULT STDMETHODCALLTYPE DShowSampleRenderer::SetTimeFormat(const GUID* f) { QUILLMERE_FORWARD_SEEKING(SetTimeFormat(f)) }
HRESULT STDMETHODCALLTYPE DShowSampleRenderer::GetDuration(LONGLONG* d) { QUILLMERE_FORWARD_SEEKING(GetDuration(d)) }
HRESULT STDMETHODCALLTYPE DShowSampleRenderer::GetStopPosition(LONGLONG* s) { QUILLMERE_FORWARD_SEEKING(GetStopPosition(s)) }
HRESULT STDMETHODCALLTYPE DShowSampleRenderer::GetCurrentPosition(LONGLONG* c) { QUILLMERE_FORWARD_SEEKING(GetCurrentPosition(c)) }
HRESULT STDMETHODCALLTYPE DShowSampleRenderer::ConvertTimeFormat(LONGLONG* t, const GUID* tf, LONGLONG s, const GUID* sf)
{
    QUILLMERE_FORWARD_SEEKING(ConvertTimeFormat(t, tf, s, sf))
}
HRESULT STDMETHODCALLTYPE DShowSampleRenderer::SetPositions(LONGLONG* c, DWORD cf, LONGLONG* s, DWORD sf)
{
    QUILLMERE_FORWARD_SEEKING(SetPositions(c, cf, s, sf))
}
HRESULT STDMETHODCALLTYPE DShowSampleRenderer::GetPositions(LONGLONG* c, LONGLONG* s) { QUILLMERE_FORWARD_SEEKING(GetPositions(c, s)) }
HRESULT STDMETHODCALLTYPE DShowSampleRenderer::GetAvailable(LONGLONG* e, LONGLONG* l) { QUILLMERE_FORWARD_SEEKING(GetAvailable(e, l)) }
HRESULT STDMETHODCALLTYPE DShowSampleRenderer::SetRate(double r) { QUILLMERE_FORWARD_SEEKING(SetRate(r)) }
HRESULT STDMETHODCALLTYPE DShowSampleRenderer::GetRate(double* r) { QUILLMERE_FORWARD_SEEKING(GetRate(r)) }
HRESULT STDMETHODCALLTYPE DShowSampleRenderer::GetPreroll(LONGLONG* p) { QUILLMERE_FORWARD_SEEKING(GetPreroll(p)) }
