#include "decode/FrameInfo_CL.h"

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
    {
        Gdiplus::Graphics graphics(created.get());
        graphics.Clear(Gdiplus::Color(255, 0, 0, 0));
    }
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
    // Kept at the size of its cell, not its own: an 8K frame would hold 66 MB for a cell of 3.
    int x, y, width, height;
    GetCell(index, x, y, width, height);
    auto cell = std::make_unique<Gdiplus::Bitmap>(width, height, PixelFormat32bppRGB);
    if (cell->GetLastStatus() != Gdiplus::Ok) return;
    {
        Gdiplus::Graphics graphics(cell.get());
        graphics.DrawImage(image.get(), Gdiplus::Rect(0, 0, width, height), 0, 0, static_cast<INT>(image->GetWidth()),
                           static_cast<INT>(image->GetHeight()), Gdiplus::UnitPixel);
    }
    image.reset();
    if (canvas) {
        Gdiplus::Graphics graphics(canvas);
        graphics.DrawImage(cell.get(), x, y, width, height);
    }
    frames[index] = std::move(cell);
}

void FrameInfo_CL::CreateBackBuffer(int width, int height)
{
    backBuffer.reset();
    if (width > 0 && height > 0) backBuffer = std::make_unique<Gdiplus::Bitmap>(width, height, PixelFormat32bppRGB);
}
