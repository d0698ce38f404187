#include "decode/FrameInfo_CL.h"

#include <cstdint>
#include <cstring>

#include "core/GdiPlus.h"
#include "decode/PictureLoader_CL.h"

FrameInfo_CL::FrameInfo_CL() = default;

std::unique_ptr<Gdiplus::Image> FrameInfo_CL::LoadPicture(const std::wstring& path)
{
    int width, height;
    LargestShownSize(width, height);
    bool isTooLarge = false;
    return PictureLoader_CL::LoadScaled(path, width, height, isTooLarge);
}

void FrameInfo_CL::LargestShownSize(int& width, int& height)
{
    // The preview area is never larger than the screens together.
    width = ::GetSystemMetrics(SM_CXVIRTUALSCREEN);
    height = ::GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (width <= 0 || height <= 0) {
        width = kCanvasWidth;
        height = kCanvasHeight;
    }
}

FrameInfo_CL::~FrameInfo_CL()
{
    backBuffer.reset();
    ClearFrames();
}

void FrameInfo_CL::SetImage(std::unique_ptr<Gdiplus::Image> image)
{
    canvas = nullptr;
    displayImage = std::move(image);
}

void FrameInfo_CL::ClearFrames()
{
    canvas = nullptr;
    displayImage.reset();
    for (auto& frame : frames) frame.reset();
}

Gdiplus::Bitmap* FrameInfo_CL::CreateFrameBitmap()
{
    canvas = nullptr;
    displayImage.reset();
    auto created = std::make_unique<Gdiplus::Bitmap>(kCanvasWidth, kCanvasHeight, PixelFormat32bppRGB);
    if (created->GetLastStatus() != Gdiplus::Ok) return nullptr;
    // Black by writing zeros: a Clear through a graphics context took up to 2 s of the
    // window's thread under Wine on a busy machine.
    Gdiplus::Rect all(0, 0, kCanvasWidth, kCanvasHeight);
    Gdiplus::BitmapData pixels;
    if (created->LockBits(&all, Gdiplus::ImageLockModeWrite, PixelFormat32bppRGB, &pixels) != Gdiplus::Ok) return nullptr;
    for (int row = 0; row < kCanvasHeight; ++row)
        memset(static_cast<uint8_t*>(pixels.Scan0) + size_t(row) * pixels.Stride, 0, size_t(kCanvasWidth) * 4);
    created->UnlockBits(&pixels);
    canvas = created.get();
    displayImage = std::move(created);
    return canvas;
}

void FrameInfo_CL::GetCell(int index, int& x, int& y, int& width, int& height) const
{
    width = kCanvasWidth / widthCount;
    height = kCanvasHeight / widthCount;
    x = (index % widthCount) * width;
    y = (index / widthCount) * height;
}

void FrameInfo_CL::SetFrame(int index, std::unique_ptr<Gdiplus::Image> image)
{
    if (index < 0 || index >= kMaxFrames) return;
    frames[index].reset();
    if (!image) return;
    int x, y, width, height;
    GetCell(index, x, y, width, height);
    const Gdiplus::Rect cell(0, 0, width, height);
    const INT imageWidth = static_cast<INT>(image->GetWidth()), imageHeight = static_cast<INT>(image->GetHeight());
    // The slot keeps the frame at the size of its cell, not its own: an 8K frame would hold
    // 66 MB for a cell of 3.
    if (canvas) {
        Gdiplus::Graphics graphics(canvas);
        graphics.DrawImage(image.get(), Gdiplus::Rect(x, y, width, height), 0, 0, imageWidth, imageHeight, Gdiplus::UnitPixel);
        frames[index].reset(canvas->Clone(Gdiplus::Rect(x, y, width, height), PixelFormat32bppRGB));
        return;
    }
    auto shrunk = std::make_unique<Gdiplus::Bitmap>(width, height, PixelFormat32bppRGB);
    if (shrunk->GetLastStatus() != Gdiplus::Ok) return;
    Gdiplus::Graphics(shrunk.get()).DrawImage(image.get(), cell, 0, 0, imageWidth, imageHeight, Gdiplus::UnitPixel);
    frames[index] = std::move(shrunk);
}

void FrameInfo_CL::CreateBackBuffer(int width, int height)
{
    backBuffer.reset();
    if (width > 0 && height > 0) backBuffer = std::make_unique<Gdiplus::Bitmap>(width, height, PixelFormat32bppRGB);
}
