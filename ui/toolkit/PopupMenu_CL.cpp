#include "ui/toolkit/PopupMenu_CL.h"

#include <algorithm>

PopupMenu_CL::~PopupMenu_CL()
{
    // Destroying a menu destroys its submenus: theirs let go of their handles first.
    for (const auto& submenu : submenus) submenu->menu = nullptr;
    if (menu) ::DestroyMenu(menu);
}

HMENU PopupMenu_CL::CreatePopup()
{
    menu = ::CreatePopupMenu();
    return menu;
}

HMENU PopupMenu_CL::CreateBar()
{
    menu = ::CreateMenu();
    return menu;
}

void PopupMenu_CL::LoadImageStrip(const std::wstring& bitmapPath)
{
    auto strip = std::make_unique<ImageList_CL>();
    if (strip->LoadStrip(bitmapPath, kImageCellWidth)) imageStrip = std::move(strip);
}

void PopupMenu_CL::AddItem(UINT command, const std::wstring& text, int imageIndex)
{
    items.push_back(ItemRecord{command, imageIndex});
    MENUITEMINFOW info = {sizeof(info)};
    info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING | MIIM_DATA;
    info.fType = MFT_OWNERDRAW;
    info.wID = command;
    info.dwTypeData = const_cast<wchar_t*>(text.c_str());
    info.dwItemData = reinterpret_cast<ULONG_PTR>(this);
    ::InsertMenuItemW(menu, itemCount++, TRUE, &info);
}

void PopupMenu_CL::AddSeparator()
{
    MENUITEMINFOW info = {sizeof(info)};
    info.fMask = MIIM_FTYPE;
    info.fType = MFT_SEPARATOR;
    ::InsertMenuItemW(menu, itemCount++, TRUE, &info);
}

BOOL PopupMenu_CL::SetItemInfo(UINT command, const MENUITEMINFOW& info)
{
    return ::SetMenuItemInfoW(menu, command, FALSE, &info);
}

void PopupMenu_CL::Disable(UINT command)
{
    MENUITEMINFOW info = {sizeof(info)};
    info.fMask = MIIM_STATE;
    info.fState = MFS_GRAYED | MFS_DISABLED;
    SetItemInfo(command, info);
}

void PopupMenu_CL::ShowCommands(HWND owner, const std::wstring& imageStripPath, const std::vector<Command>& commands,
                                const std::vector<UINT>& disabled, const POINT* at)
{
    PopupMenu_CL menu;
    menu.CreatePopup();
    menu.LoadImageStrip(imageStripPath);
    PopupMenu_CL* target = &menu;
    for (const Command& item : commands) {
        if (item.command == kSubmenuStart) {
            target = menu.AddSubmenu(item.text, item.image, imageStripPath);
        } else if (item.command == kSubmenuEnd) {
            target = &menu;
        } else if (item.command == 0) {
            target->AddSeparator();
        } else {
            target->AddItem(item.command, item.text, item.image);
        }
    }
    for (UINT command : disabled) {
        menu.Disable(command);
        for (const auto& submenu : menu.submenus) submenu->Disable(command);
    }
    menu.Track(owner, at);
}

PopupMenu_CL* PopupMenu_CL::AddSubmenu(const std::wstring& text, int imageIndex, const std::wstring& imageStripPath)
{
    auto submenu = std::make_unique<PopupMenu_CL>();
    submenu->CreatePopup();
    submenu->LoadImageStrip(imageStripPath);
    // The item needs an identifier of its own so that its text can be looked up to draw it.
    const UINT id = kSubmenuItemId + static_cast<UINT>(submenus.size());
    AddItem(id, text, imageIndex);
    MENUITEMINFOW info = {sizeof(info)};
    info.fMask = MIIM_SUBMENU;
    info.hSubMenu = submenu->menu;
    SetItemInfo(id, info);
    submenus.push_back(std::move(submenu));
    return submenus.back().get();
}

void PopupMenu_CL::Track(HWND owner, const POINT* at)
{
    POINT cursor;
    ::GetCursorPos(&cursor);
    if (at) cursor = *at;
    ::SetForegroundWindow(owner);
    ::TrackPopupMenu(menu, TPM_VERTICAL, cursor.x, cursor.y, 0, owner, nullptr);
}

int PopupMenu_CL::GetImageIndex(UINT command) const
{
    auto found = std::find_if(items.begin(), items.end(), [&](const ItemRecord& r) { return r.command == command; });
    return found == items.end() ? kNoImage : found->imageIndex;
}

std::wstring PopupMenu_CL::GetItemText(UINT command) const
{
    wchar_t text[260] = {};
    MENUITEMINFOW info = {sizeof(info)};
    info.fMask = MIIM_STRING;
    info.dwTypeData = text;
    info.cch = 260;
    ::GetMenuItemInfoW(menu, command, FALSE, &info);
    return text;
}

// The text before the first tab, and the text after it (empty without a tab).
static std::pair<std::wstring, std::wstring> SplitAtTab(const std::wstring& text)
{
    size_t tab = text.find(L'\t');
    if (tab == std::wstring::npos) return {text, std::wstring()};
    return {text.substr(0, tab), text.substr(tab + 1)};
}

void PopupMenu_CL::Measure(HWND window, MEASUREITEMSTRUCT& item) const
{
    std::wstring left = SplitAtTab(GetItemText(item.itemID)).first;
    HDC dc = ::GetDC(window);
    HGDIOBJ oldFont = ::SelectObject(dc, ::GetStockObject(DEFAULT_GUI_FONT));
    SIZE text = {};
    ::GetTextExtentPoint32W(dc, left.c_str(), static_cast<int>(left.size()), &text);
    ::SelectObject(dc, oldFont);
    ::ReleaseDC(window, dc);
    item.itemWidth = text.cx + 48;
    item.itemHeight = text.cy + 1;
    if (imageStrip) {
        SIZE image = imageStrip->GetImageSize();
        item.itemWidth += image.cx + 4;
        item.itemHeight = std::max<UINT>(item.itemHeight, image.cy + 1);
    }
}

void PopupMenu_CL::Draw(const DRAWITEMSTRUCT& item) const
{
    bool selected = item.itemState & ODS_SELECTED, grayed = item.itemState & ODS_GRAYED;
    COLORREF back = ::GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_MENU);
    COLORREF fore = ::GetSysColor(selected ? (grayed ? COLOR_GRAYTEXT : COLOR_HIGHLIGHTTEXT)
                                           : (grayed ? COLOR_BTNSHADOW : COLOR_MENUTEXT));
    HDC dc = item.hDC;
    COLORREF oldBack = ::SetBkColor(dc, back), oldText = ::SetTextColor(dc, fore);
    ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &item.rcItem, nullptr, 0, nullptr);

    RECT textRect = item.rcItem;
    if (imageStrip) textRect.left += imageStrip->GetImageSize().cx + 4;
    auto [left, right] = SplitAtTab(GetItemText(item.itemID));
    int oldMode = ::SetBkMode(dc, TRANSPARENT);
    HGDIOBJ oldFont = ::SelectObject(dc, ::GetStockObject(DEFAULT_GUI_FONT));
    ::DrawTextW(dc, left.c_str(), -1, &textRect, DT_VCENTER | DT_SINGLELINE);
    textRect.right -= 24;
    ::DrawTextW(dc, right.c_str(), -1, &textRect, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);

    int image = GetImageIndex(item.itemID);
    if (imageStrip && image != kNoImage)
        ImageList_DrawEx(imageStrip->GetHandle(), image, dc, item.rcItem.left, item.rcItem.top, 0, 0, back, fore,
                         ILD_NORMAL);
    ::SelectObject(dc, oldFont);
    ::SetBkMode(dc, oldMode);
    ::SetTextColor(dc, oldText);
    ::SetBkColor(dc, oldBack);
}

BOOL PopupMenu_CL::DrawMenuItem(HWND window, UINT message, WPARAM, LPARAM lParam)
{
    if (message == WM_MEASUREITEM) {
        auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        if (item->CtlType != ODT_MENU || !item->itemData) return FALSE;
        reinterpret_cast<const PopupMenu_CL*>(item->itemData)->Measure(window, *item);
        return TRUE;
    }
    if (message == WM_DRAWITEM) {
        auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item->CtlType != ODT_MENU || !item->itemData) return FALSE;
        reinterpret_cast<const PopupMenu_CL*>(item->itemData)->Draw(*item);
        return TRUE;
    }
    return FALSE;
}
