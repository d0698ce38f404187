#pragma once
#include <windows.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "ui/toolkit/ImageList_CL.h"

// A menu of owner-drawn items, each with an optional image from a 24-pixel strip. The
// owner window passes WM_MEASUREITEM and WM_DRAWITEM to DrawMenuItem.
class PopupMenu_CL {
public:
    static constexpr int kNoImage = -1;
    static constexpr int kImageCellWidth = 24;

    PopupMenu_CL() = default;
    virtual ~PopupMenu_CL();
    virtual HMENU CreatePopup();
    virtual HMENU CreateBar();

    PopupMenu_CL(const PopupMenu_CL&) = delete;
    PopupMenu_CL& operator=(const PopupMenu_CL&) = delete;

    // Loads the image strip the items' image indexes refer to.
    void LoadImageStrip(const std::wstring& bitmapPath);
    void AddItem(UINT command, const std::wstring& text, int imageIndex);
    void AddSeparator();
    // An item opening a submenu (owned by this menu), to which items are then added.
    PopupMenu_CL* AddSubmenu(const std::wstring& text, int imageIndex, const std::wstring& imageStripPath);
    void Disable(UINT command);
    BOOL SetItemInfo(UINT command, const MENUITEMINFOW& info);
    // Shows the menu at the cursor (or at `at`, in screen coordinates); the chosen command
    // reaches `owner` as WM_COMMAND.
    void Track(HWND owner, const POINT* at = nullptr);
    HMENU GetHandle() const { return menu; }
    int GetImageIndex(UINT command) const;
    const ImageList_CL* GetImageStrip() const { return imageStrip.get(); }

    // One entry of a command menu; command 0 is a separator.
    struct Command {
        UINT command = 0;
        const wchar_t* text = nullptr;
        int image = kNoImage;
    };
    // Builds a menu of these commands with the image strip, greys the disabled ones and
    // shows it at the cursor (or at `at`); the chosen command reaches `owner`. Commands
    // after a `kSubmenuStart` entry, up to a `kSubmenuEnd` entry, form a submenu under its text.
    static constexpr UINT kSubmenuStart = 0xFFFF0001, kSubmenuEnd = 0xFFFF0002;
    static void ShowCommands(HWND owner, const std::wstring& imageStripPath, const std::vector<Command>& commands,
                             const std::vector<UINT>& disabled, const POINT* at = nullptr);

    // Measures and draws owner-drawn menu items; TRUE when the message was one of them.
    static BOOL DrawMenuItem(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    struct ItemRecord {
        UINT command;
        int imageIndex;
    };
    std::wstring GetItemText(UINT command) const;
    void Measure(HWND window, MEASUREITEMSTRUCT& item) const;
    void Draw(const DRAWITEMSTRUCT& item) const;

    static constexpr UINT kSubmenuItemId = 0xFF00;

    HMENU menu = nullptr;
    std::vector<std::unique_ptr<PopupMenu_CL>> submenus;
    std::vector<ItemRecord> items;
    int itemCount = 0;
    std::unique_ptr<ImageList_CL> imageStrip;
};
