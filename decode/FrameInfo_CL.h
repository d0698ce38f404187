#pragma once
#include <array>
#include <memory>
#include <string>

namespace Gdiplus {
class Image;
class Bitmap;
}

// What the preview area shows: for a movie a 4096 x 3072 canvas with the decoded frames in
// an n x n grid, otherwise one picture; and the pane's back buffer.
class FrameInfo_CL {
public:
    static constexpr int kCanvasWidth = 4096;
    static constexpr int kCanvasHeight = 3072;
    static constexpr int kMaxFrames = 25;

    FrameInfo_CL();
    // A picture file as a bitmap of its own, shrunk to the largest size the preview can show
    // (so the file is not held open while it is shown); null when it cannot be read or is
    // too large to decode (PictureLoader_CL). COM must be initialised on the calling thread.
    static std::unique_ptr<Gdiplus::Image> LoadPicture(const std::wstring& path);
    static void LargestShownSize(int& width, int& height);
    virtual ~FrameInfo_CL();
    FrameInfo_CL(const FrameInfo_CL&) = delete;
    FrameInfo_CL& operator=(const FrameInfo_CL&) = delete;

    void SetImage(std::unique_ptr<Gdiplus::Image> image);
    void ClearFrames();
    // A new black canvas as the display image; null when it cannot be made.
    Gdiplus::Bitmap* CreateFrameBitmap();
    void SetWidthCount(int n) { widthCount = n; }
    int GetWidthCount() const { return widthCount; }
    // Stretches the frame into its cell of the canvas and keeps it, at the cell's size, in
    // slot `index`; the frame itself is released at once.
    void SetFrame(int index, std::unique_ptr<Gdiplus::Image> image);
    Gdiplus::Image* GetFrame(int index) const { return index >= 0 && index < kMaxFrames ? frames[index].get() : nullptr; }
    void CreateBackBuffer(int width, int height);
    Gdiplus::Image* GetDisplayImage() const { return displayImage.get(); }
    Gdiplus::Bitmap* GetBackBuffer() const { return backBuffer.get(); }
    // Top-left corner and size of cell `index` for the current grid side.
    void GetCell(int index, int& x, int& y, int& width, int& height) const;

private:
    std::array<std::unique_ptr<Gdiplus::Image>, kMaxFrames> frames;
    std::unique_ptr<Gdiplus::Image> displayImage;
    Gdiplus::Bitmap* canvas = nullptr;  // displayImage while it is the frame canvas
    std::unique_ptr<Gdiplus::Bitmap> backBuffer;
    int widthCount = 4;
};
