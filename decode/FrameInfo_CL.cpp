#include "decode/FrameInfo_CL.h"

#include "core/GdiPlus.h"
#include "core/PathFunctions.h"

FrameInfo_CL::FrameInfo_CL() = default;

std::unique_ptr<Gdiplus::Image> FrameInfo_CL::LoadPicture(const std::wstring& path)
{
    Gdiplus::Bitmap file(ShellPathForm(path).c_str());
    if (file.GetLastStatus() != Gdiplus::Ok) return nullptr;
    const INT width = static_cast<INT>(file.GetWidth()), height = static_cast<INT>(file.GetHeight());
    if (width <= 0 || height <= 0) return nullptr;
    auto copy = std::make_unique<Gdiplus::Bitmap>(width, height, PixelFormat32bppARGB);
    if (copy->GetLastStatus() != Gdiplus::Ok) return nullptr;
    Gdiplus::Graphics graphics(copy.get());
    if (graphics.DrawImage(&file, 0, 0, width, height) != Gdiplus::Ok) return nullptr;
    return copy;
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
    frames[index] = std::move(image);
    Gdiplus::Image* frame = frames[index].get();
    if (!canvas || !frame) return;
    int x, y, width, height;
    GetCell(index, x, y, width, height);
    Gdiplus::Graphics graphics(canvas);
    graphics.DrawImage(frame, Gdiplus::Rect(x, y, width, height), 0, 0, static_cast<INT>(frame->GetWidth()),
                       static_cast<INT>(frame->GetHeight()), Gdiplus::UnitPixel);
}

void FrameInfo_CL::CreateBackBuffer(int width, int height)
{
    backBuffer.reset();
    if (width > 0 && height > 0) backBuffer = std::make_unique<Gdiplus::Bitmap>(width, height, PixelFormat32bppRGB);
}
