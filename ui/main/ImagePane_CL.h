#pragma once
#include <memory>
#include <string>

#include "ui/toolkit/ControlBase_CL.h"

namespace Gdiplus {
class Image;
}

// The upper pane of the main window while no preview is shown: the application image,
// scaled to fit. A right-button release asks the owner for the application menu.
class ImagePane_CL : public ControlBase_CL {
public:
    ImagePane_CL();
    ~ImagePane_CL() override;
    HWND Create(HWND parent, int controlId, const std::wstring& imagePath);

private:
    static LRESULT CALLBACK PaneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Paint();

    std::unique_ptr<Gdiplus::Image> image;
};
