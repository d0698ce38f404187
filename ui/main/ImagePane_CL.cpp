#include "ui/main/ImagePane_CL.h"

#include "core/AppMessages.h"
#include "ui/toolkit/GdiPlus.h"

namespace {
constexpr wchar_t kClassName[] = L"QuillmereImagePane";
constexpr COLORREF kBackground = RGB(13, 20, 32);
}  // namespace

ImagePane_CL::ImagePane_CL() : ControlBase_CL(kStaticText) {}

ImagePane_CL::~ImagePane_CL() = default;

HWND ImagePane_CL::Create(HWND parent, int controlId, const std::wstring& imagePath)
{
    WNDCLASSEXW paneClass = {sizeof(paneClass)};
    if (!::GetClassInfoExW(Instance(), kClassName, &paneClass)) {
        paneClass.lpfnWndProc = &PaneProc;
        paneClass.hInstance = Instance();
        paneClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        paneClass.lpszClassName = kClassName;
        ::RegisterClassExW(&paneClass);
    }
    auto loaded = std::make_unique<Gdiplus::Image>(imagePath.c_str());
    if (loaded->GetLastStatus() == Gdiplus::Ok) image = std::move(loaded);
    return CreateChild(kClassName, L"", 0, 0, parent, controlId, 0, 0, 100, 100, false);
}

void ImagePane_CL::Paint()
{
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(hwnd, &paint);
    RECT client;
    ::GetClientRect(hwnd, &client);
    Gdiplus::Graphics graphics(dc);
    Gdiplus::SolidBrush background(Gdiplus::Color(GetRValue(kBackground), GetGValue(kBackground), GetBValue(kBackground)));
    graphics.FillRectangle(&background, 0, 0, client.right, client.bottom);
    if (image && client.right > 0 && client.bottom > 0) {
        double scale = std::min(double(client.right) / image->GetWidth(), double(client.bottom) / image->GetHeight());
        int width = int(image->GetWidth() * scale), height = int(image->GetHeight() * scale);
        graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
        graphics.DrawImage(image.get(), (client.right - width) / 2, (client.bottom - height) / 2, width, height);
    }
    ::EndPaint(hwnd, &paint);
}

LRESULT CALLBACK ImagePane_CL::PaneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* self = static_cast<ImagePane_CL*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<ImagePane_CL*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_PAINT:
        if (self) {
            self->hwnd = window;
            self->Paint();
            return 0;
        }
        break;
    case WM_ERASEBKGND:
        return 1;
    case WM_SIZE:
        ::InvalidateRect(window, nullptr, FALSE);
        break;
    case WM_RBUTTONUP:
        ::SendMessageW(::GetParent(window), WM_COMMAND, MAKEWPARAM(ID_APP_MENU, 0), reinterpret_cast<LPARAM>(window));
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}
