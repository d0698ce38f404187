#include "ui/toolkit/Split_CL.h"

#include <initializer_list>
#include <utility>

HWND Split_CL::WithoutThickFrame(HWND window)
{
    LONG_PTR style = ::GetWindowLongPtrW(window, GWL_STYLE);
    ::SetWindowLongPtrW(window, GWL_STYLE, style & ~static_cast<LONG_PTR>(WS_THICKFRAME));
    return window;
}

void Split_CL::SetFirstWindow(HWND window)
{
    firstWindow = WithoutThickFrame(window);
}

void Split_CL::SetSecondWindow(HWND window)
{
    secondWindow = WithoutThickFrame(window);
}

void Split_CL::Layout(const RECT& frame)
{
    frameRect = frame;
    if (position == -1) position = (frame.bottom - frame.top) / 2;
    if (!firstWindow || !secondWindow) {
        firstRect = secondRect = frame;
    } else {
        firstRect = RECT{frame.left, frame.top, frame.right, frame.top + position};
        secondRect = RECT{frame.left, frame.top + position + barSize, frame.right, frame.bottom};
    }
    HDWP batch = ::BeginDeferWindowPos(2);
    for (auto [window, rect] : {std::pair{firstWindow, firstRect}, std::pair{secondWindow, secondRect}}) {
        if (window && batch)
            batch = ::DeferWindowPos(batch, window, nullptr, rect.left, rect.top, rect.right - rect.left,
                                     rect.bottom - rect.top, SWP_NOZORDER | SWP_SHOWWINDOW);
    }
    if (batch) ::EndDeferWindowPos(batch);
}

bool Split_CL::IsOverBar(POINT point) const
{
    int barTop = frameRect.top + position;
    return point.x >= frameRect.left && point.x < frameRect.right && point.y >= barTop && point.y < barTop + barSize;
}
