#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/toolkit/ControlBase_CL.h"

// Creates an owner's controls with consecutive identifiers and owns the wrappers. Each Add
// returns the new control's index in the factory.
class ControlFactory_CL {
public:
    static constexpr int kFirstButtonId = 0x1000;
    static constexpr int kSecondButtonId = 0x1002;

    explicit ControlFactory_CL(int firstId) : nextId(firstId) {}

    int AddButton(HWND parent, const std::wstring& text, int x, int y);
    int AddCheckBox(HWND parent, const std::wstring& text, int x, int y, int checked);
    int AddGroupBox(HWND parent, const std::wstring& text, int x, int y, int width, int height);
    int AddStaticText(HWND parent, const std::wstring& text, int x, int y);
    int AddEdit(HWND parent, int x, int y, int columns, int rows, DWORD style);
    int AddComboBox(HWND parent, int x, int y, int columns, int rows, DWORD style);
    int AddListView(HWND parent, int x, int y, int width, int height, DWORD style);
    int AddTab(HWND parent, int x, int y, int width, int height, DWORD style);
    int AddProgressBar(HWND parent, int x, int y, int width, int height, DWORD style);
    // Takes a wrapper whose window the caller created with TakeNextId().
    int Adopt(std::unique_ptr<ControlBase_CL> control);
    int TakeNextId() { return nextId++; }

    // Two buttons (4096, 4098) in the parent's bottom-right corner; returns the first's index.
    int AddTwoButtons(HWND parent, const std::wstring& firstText, const std::wstring& secondText);
    // The second button's bottom-right corner 4 pixels inside the client area's (and
    // `bottomExtra` higher); the first 4 pixels to its left, bottoms aligned.
    void PlaceButtonPair(HWND parent, int firstIndex, int bottomExtra);

    template <typename T>
    T* GetControl(int index) const
    {
        return static_cast<T*>(controls.at(index).get());
    }
    int GetCount() const { return static_cast<int>(controls.size()); }

private:
    template <typename T, typename... Args>
    int Add(Args&&... args);

    std::vector<std::unique_ptr<ControlBase_CL>> controls;
    int nextId;
};
