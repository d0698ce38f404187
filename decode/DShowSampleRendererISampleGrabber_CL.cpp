#include "decode/DShowSampleRendererISampleGrabber_CL.h"

#include "decode/DShowSampleRenderer.h"

HRESULT STDMETHODCALLTYPE DShowSampleRendererISampleGrabber_CL::QueryInterface(REFIID, void** out)
{
    if (out) *out = nullptr;
    return E_FAIL;
}

ULONG STDMETHODCALLTYPE DShowSampleRendererISampleGrabber_CL::Release()
{
    ULONG left = --references;
    if (!left) delete this;
    return left;
}

HRESULT STDMETHODCALLTYPE DShowSampleRendererISampleGrabber_CL::SetMediaType(const AM_MEDIA_TYPE* type)
{
    if (!type) return E_POINTER;
    renderer.SetAcceptedSubtype(type->subtype);  // only the subtype is ever used
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DShowSampleRendererISampleGrabber_CL::GetConnectedMediaType(AM_MEDIA_TYPE* type)
{
    if (!type) return E_POINTER;
    return renderer.CopyConnectionMediaType(*type);
}

HRESULT STDMETHODCALLTYPE DShowSampleRendererISampleGrabber_CL::SetCallback(ISampleGrabberCB* callback, LONG)
{
    renderer.SetCallback(callback);
    return S_OK;
}
