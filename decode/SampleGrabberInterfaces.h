#pragma once
// The Sample Grabber's two interfaces, declared from their documented GUIDs so that the
// capture renderer can be driven exactly like that filter.
#include <windows.h>
#include <strmif.h>

// {0579154A-2B53-4994-B0D0-E773148EFF85}
constexpr IID kIidSampleGrabberCB = {0x0579154A, 0x2B53, 0x4994, {0xB0, 0xD0, 0xE7, 0x73, 0x14, 0x8E, 0xFF, 0x85}};
// {6B652FFF-11FE-4FCE-92AD-0266B5D7C78F}
constexpr IID kIidSampleGrabber = {0x6B652FFF, 0x11FE, 0x4FCE, {0x92, 0xAD, 0x02, 0x66, 0xB5, 0xD7, 0xC7, 0x8F}};

struct QuillmereSampleGrabberCB : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SampleCB(double sampleTime, IMediaSample* sample) = 0;
    virtual HRESULT STDMETHODCALLTYPE BufferCB(double sampleTime, BYTE* buffer, LONG length) = 0;
};

struct QuillmereSampleGrabber : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetOneShot(BOOL oneShot) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetMediaType(const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetConnectedMediaType(AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetBufferSamples(BOOL bufferThem) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentBuffer(LONG* size, LONG* buffer) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentSample(IMediaSample** sample) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetCallback(QuillmereSampleGrabberCB* callback, LONG whichMethod) = 0;
};

using ISampleGrabberCB = QuillmereSampleGrabberCB;
using ISampleGrabber = QuillmereSampleGrabber;
