#include "ui/toolkit/ControlFactory_CL.h"

#include "ui/toolkit/Button_CL.h"
#include "ui/toolkit/CheckBox_CL.h"
#include "ui/toolkit/ComboBox_CL.h"
#include "ui/toolkit/Edit_CL.h"
#include "ui/toolkit/GroupBox_CL.h"
#include "ui/toolkit/ListView_CL.h"
#include "ui/toolkit/ProgressBar_CL.h"
#include "ui/toolkit/StaticText_CL.h"
#include "ui/toolkit/Tab_CL.h"

template <typename T, typename... Args>
int ControlFactory_CL::Add(Args&&... args)
{
    auto control = std::make_unique<T>();
    int controlId = nextId++;
    // Every Create takes the parent first, then the identifier, then the rest.
    [&](HWND parent, auto&&... rest) { control->Create(parent, controlId, rest...); }(std::forward<Args>(args)...);
    return Adopt(std::move(control));
}

int ControlFactory_CL::Adopt(std::unique_ptr<ControlBase_CL> control)
{
    controls.push_back(std::move(control));
    return static_cast<int>(controls.size()) - 1;
}

int ControlFactory_CL::AddButton(HWND parent, const std::wstring& text, int x, int y)
{
    return Add<Button_CL>(parent, text, x, y);
}

int ControlFactory_CL::AddCheckBox(HWND parent, const std::wstring& text, int x, int y, int checked)
{
    return Add<CheckBox_CL>(parent, text, x, y, checked);
}

int ControlFactory_CL::AddGroupBox(HWND parent, const std::wstring& text, int x, int y, int width, int height)
{
    return Add<GroupBox_CL>(parent, text, x, y, width, height);
}

int ControlFactory_CL::AddStaticText(HWND parent, const std::wstring& text, int x, int y)
{
    return Add<StaticText_CL>(parent, text, x, y);
}

int ControlFactory_CL::AddEdit(HWND parent, int x, int y, int columns, int rows, DWORD style)
{
    return Add<Edit_CL>(parent, x, y, columns, rows, style);
}

int ControlFactory_CL::AddComboBox(HWND parent, int x, int y, int columns, int rows, DWORD style)
{
    return Add<ComboBox_CL>(parent, x, y, columns, rows, style);
}

int ControlFactory_CL::AddListView(HWND parent, int x, int y, int width, int height, DWORD style)
{
    return Add<ListView_CL>(parent, x, y, width, height, style);
}

int ControlFactory_CL::AddTab(HWND parent, int x, int y, int width, int height, DWORD style)
{
    return Add<Tab_CL>(parent, x, y, width, height, style);
}

int ControlFactory_CL::AddProgressBar(HWND parent, int x, int y, int width, int height, DWORD style)
{
    return Add<ProgressBar_CL>(parent, x, y, width, height, style);
}

int ControlFactory_CL::AddTwoButtons(HWND parent, const std::wstring& firstText, const std::wstring& secondText)
{
    int first = AddButton(parent, firstText, 0, 0);
    int second = AddButton(parent, secondText, 0, 0);
    GetControl<Button_CL>(first)->SetId(kFirstButtonId);
    GetControl<Button_CL>(second)->SetId(kSecondButtonId);
    PlaceButtonPair(parent, first, 0);
    return first;
}

void ControlFactory_CL::PlaceButtonPair(HWND parent, int firstIndex, int bottomExtra)
{
    RECT client;
    ::GetClientRect(parent, &client);
    ControlBase_CL* first = GetControl<ControlBase_CL>(firstIndex);
    ControlBase_CL* second = GetControl<ControlBase_CL>(firstIndex + 1);
    int bottom = client.bottom - 4 - bottomExtra;
    int secondX = client.right - 4 - second->GetWidth();
    second->Move(secondX, bottom - second->GetHeight(), TRUE);
    first->Move(secondX - 4 - first->GetWidth(), bottom - first->GetHeight(), TRUE);
}
