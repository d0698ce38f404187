#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>

// An image list loaded from a strip bitmap with magenta as the transparent colour.
class ImageList_CL {
public:
    static constexpr COLORREF kTransparent = RGB(255, 0, 255);

    ImageList_CL() = default;
    ~ImageList_CL();
    ImageList_CL(const ImageList_CL&) = delete;
    ImageList_CL& operator=(const ImageList_CL&) = delete;

    // Cells `cellWidth` wide and as high as the bitmap. A file that cannot be loaded leaves
    // the list without handle. Returns 1 when the list was made.
    int LoadStrip(const std::wstring& fileName, int cellWidth);
    HIMAGELIST GetHandle() const { return imageList; }
    int GetCount() const { return imageList ? ImageList_GetImageCount(imageList) : 0; }
    SIZE GetImageSize() const;
    // When shared, the list belongs to someone else (a control it was given to).
    void SetShared(bool shared) { isShared = shared; }

private:
    bool isShared = false;
    HIMAGELIST imageList = nullptr;
};
