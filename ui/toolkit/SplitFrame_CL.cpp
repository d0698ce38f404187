#include "ui/toolkit/SplitFrame_CL.h"

#include <windowsx.h>

#include "core/AppMessages.h"

int SplitFrame_CL::ClampDragY(int y) const
{
    int minimum = ::GetSystemMetrics(SM_CYMINTRACK);
    int maximum = frameRect.top + frameRect.bottom - minimum - barSize;
    return y < minimum ? minimum : y > maximum ? maximum : y;
}

void SplitFrame_CL::DrawDragLine(int y)
{
    // XOR drawing: the same line drawn twice leaves nothing behind.
    HDC dc = ::GetDC(ownerWindow);
    int oldMode = ::SetROP2(dc, R2_XORPEN);
    HPEN pen = ::CreatePen(PS_SOLID, barSize, ::GetSysColor(COLOR_BTNSHADOW));
    HGDIOBJ oldPen = ::SelectObject(dc, pen);
    ::MoveToEx(dc, frameRect.left, y, nullptr);
    ::LineTo(dc, frameRect.right, y);
    ::SelectObject(dc, oldPen);
    ::DeleteObject(pen);
    ::SetROP2(dc, oldMode);
    ::ReleaseDC(ownerWindow, dc);
    linePosition = RECT{frameRect.left, y, frameRect.right, y};
}

void SplitFrame_CL::EraseDragLine()
{
    if (linePosition.left == -1) return;
    DrawDragLine(linePosition.top);
    linePosition.left = -1;
}

int SplitFrame_CL::FrameProc(HWND window, UINT message, WPARAM, LPARAM lParam)
{
    constexpr DWORD kClipping = WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    switch (message) {
    case WM_CREATE:
        ::GetClientRect(window, &frameRect);
        return 1;
    case WM_SIZE: {
        RECT client;
        ::GetClientRect(window, &client);
        Layout(client);
        return 1;
    }
    case WM_MOUSEMOVE:
        if (dragNode) {
            EraseDragLine();
            DrawDragLine(ClampDragY(point.y));
        }
        if (dragNode || IsOverBar(point)) ::SetCursor(::LoadCursorW(nullptr, IDC_SIZENS));
        return 1;
    case WM_LBUTTONDOWN:
        if (!IsOverBar(point)) return 0;
        dragNode = lastDragNode = this;
        ::SetCapture(window);
        ::SetWindowLongPtrW(window, GWL_STYLE, ::GetWindowLongPtrW(window, GWL_STYLE) & ~static_cast<LONG_PTR>(kClipping));
        DrawDragLine(ClampDragY(point.y));
        return 1;
    case WM_LBUTTONUP: {
        if (!dragNode) return 0;
        int lineY = linePosition.left == -1 ? ClampDragY(point.y) : linePosition.top;
        ::PostMessageW(ownerWindow, MSG_SPLIT_MOVED, static_cast<WPARAM>(type), lineY - frameRect.top);
        EraseDragLine();
        dragNode = nullptr;
        ::ReleaseCapture();
        ::SetWindowLongPtrW(window, GWL_STYLE, ::GetWindowLongPtrW(window, GWL_STYLE) | kClipping);
        return 1;
    }
    case WM_CAPTURECHANGED:
        // The capture went elsewhere (a menu, another window, Escape): the drag is over and
        // the splitter stays where it was.
        if (!dragNode || reinterpret_cast<HWND>(lParam) == window) return 0;
        EraseDragLine();
        dragNode = nullptr;
        ::SetWindowLongPtrW(window, GWL_STYLE, ::GetWindowLongPtrW(window, GWL_STYLE) | kClipping);
        return 1;
    }
    return 0;
}
