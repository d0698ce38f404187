#pragma once
#include <cstdint>
#include <memory>
#include <mutex>

#include "decode/SampleGrabberInterfaces.h"

namespace Gdiplus {
class Bitmap;
}
class DShowMovieFrameDecode_CL;

// The capture renderer's callback: turns the frame delivered after a seek into a 32-bit
// image, puts it in the decoder's capture slot and signals the decoder's frame event. Runs
// on the graph's streaming thread. Lives as long as its decoder (no reference counting).
class FrameDecodeSampleGrabberCB final : public ISampleGrabberCB {
public:
    static constexpr int64_t kLargestPixelCount = 0x40000000;

    explicit FrameDecodeSampleGrabberCB(DShowMovieFrameDecode_CL& decoder) : decoder(decoder) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 0; }
    HRESULT STDMETHODCALLTYPE SampleCB(double sampleTime, IMediaSample* sample) override;
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, LONG) override { return 0; }

    // BT.601 studio range to 0x00RRGGBB.
    static uint32_t Yuy2ToRgb(int y, int u, int v);
    // A frame of `width` x |height| from a sample of `length` bytes, or null when the sample
    // is too short for the frame it claims to hold (or the frame is absurdly large). Rows
    // are padded to 4 bytes, or as long as the sample's length shows; YUY2 is top-down,
    // RGB32 bottom-up unless its height is negative.
    static std::unique_ptr<Gdiplus::Bitmap> ImageFromSample(const uint8_t* data, int64_t length, int width, int height,
                                                            bool isRGB32);

    // The capture slot. BeginCapture empties it and from then on accepts only a sample of a
    // later renderer segment than `afterSegment`: one delivered after the coming seek's
    // flush, never one still being converted from before it.
    void BeginCapture(uint64_t afterSegment);
    std::unique_ptr<Gdiplus::Bitmap> TakeImage();

private:
    DShowMovieFrameDecode_CL& decoder;
    std::mutex slotLock;
    std::unique_ptr<Gdiplus::Bitmap> slot;
    uint64_t captureAfterSegment = 0;
    bool occupied = false;  // a sample of this capture came (with or without an image)
};
