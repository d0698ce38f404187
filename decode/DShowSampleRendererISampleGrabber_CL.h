#pragma once
#include <atomic>

#include "decode/SampleGrabberInterfaces.h"

class DShowSampleRenderer;

// Presents the capture renderer through ISampleGrabber, so that the decoder drives it as
// it would drive the system's Sample Grabber. Holds no reference on the renderer: whoever
// asked for this interface holds the renderer too.
class DShowSampleRendererISampleGrabber_CL final : public ISampleGrabber {
public:
    explicit DShowSampleRendererISampleGrabber_CL(DShowSampleRenderer& renderer) : renderer(renderer) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE SetOneShot(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE GetConnectedMediaType(AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE SetBufferSamples(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetCurrentBuffer(LONG*, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCurrentSample(IMediaSample**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetCallback(ISampleGrabberCB* callback, LONG whichMethod) override;

private:
    std::atomic<ULONG> references{1};
    DShowSampleRenderer& renderer;
};
