#include "ui/settings/PropAppSetting_CL.h"

#include <commctrl.h>
#include <prsht.h>

#include "core/ApplicationData_CL.h"
#include "core/Inifile_CL.h"
#include "ui/toolkit/CheckBox_CL.h"
#include "ui/toolkit/ComboBox_CL.h"
#include "ui/toolkit/Edit_CL.h"
#include "ui/toolkit/GroupBox_CL.h"
#include "ui/toolkit/RowLayout_CL.h"
#include "ui/toolkit/StaticText_CL.h"

#include <algorithm>
#include <cwchar>

namespace {
const wchar_t kConfirmOffWarning[] =
    L"このチェックをＯＦＦにすると、ファイルの削除を行う際に確認のダイアログが表示されなくなり、確認無しで削除されるようになります。"
    L"動画ファイルの削除を行う際には注意してください。";
}

void PropAppSetting_CL::Build(HWND window)
{
    previewCountCombo = factory.GetControl<ComboBox_CL>(factory.AddComboBox(window, 0, 0, 10, 8, CBS_DROPDOWNLIST | WS_VSCROLL));
    for (const wchar_t* text : {L"4枚(2x2)", L"9枚(3x3)", L"16枚(4x4)", L"25枚(5x5)"}) previewCountCombo->AddItem(text, -1);
    auto addCheck = [&](const wchar_t* text) { return factory.GetControl<CheckBox_CL>(factory.AddCheckBox(window, text, 0, 0, 0)); };
    compareMovieCheck = addCheck(L"動画を比較する");
    compareImageCheck = addCheck(L"静止画を比較する");
    completeMessageCheck = addCheck(L"比較終了時にメッセージボックスを表示する");
    confirmDeleteCheck = addCheck(L"ファイル削除時に削除確認を行う");
    verifyBeforeDeleteCheck = addCheck(L"削除前にファイル全体を比較する");

    const PageArea area = GetPageArea();
    RowLayout_CL rows(area.cellWidth, area.cellHeight, area.width - 2 * area.cellWidth);
    rows.BeginGroup(*factory.GetControl<GroupBox_CL>(factory.AddGroupBox(window, L"プレビュー画像の枚数", 0, 0, 10, 10)));
    rows.Place(*previewCountCombo);
    rows.EndGroup();
    rows.BeginGroup(*factory.GetControl<GroupBox_CL>(factory.AddGroupBox(window, L"比較対象", 0, 0, 10, 10)));
    for (CheckBox_CL* box : {compareMovieCheck, compareImageCheck, completeMessageCheck, confirmDeleteCheck, verifyBeforeDeleteCheck})
        rows.Place(*box);
    rows.EndGroup();
    BuildSimilarGroup(window, rows);

    previewCountCombo->SetCurSel(settings.previewImageSizeIndex);
    compareMovieCheck->SetCheck(settings.compareMovie & 0xFF);
    compareImageCheck->SetCheck(settings.compareImage & 0xFF);
    completeMessageCheck->SetCheck(settings.showCompleteMessage & 0xFF);
    confirmDeleteCheck->SetCheck(settings.confirmDelete & 0xFF);
    verifyBeforeDeleteCheck->SetCheck(settings.verifyBeforeDelete & 0xFF);
    findSimilarCheck->SetCheck(settings.findSimilar & 0xFF);
    thresholdEdit->SetText(std::to_wstring(ApplicationData_CL::ValidSimilarThreshold(settings.similarThreshold)));
    thresholdEdit->Enable(findSimilarCheck->GetCheck());
    isBuilt = true;  // the texts set above raised changes of their own
}

void PropAppSetting_CL::BuildSimilarGroup(HWND window, RowLayout_CL& rows)
{
    findSimilarCheck = factory.GetControl<CheckBox_CL>(factory.AddCheckBox(window, L"似ている動画も探す", 0, 0, 0));
    auto* label = factory.GetControl<StaticText_CL>(factory.AddStaticText(window, L"類似度のしきい値", 0, 0));
    thresholdEdit = factory.GetControl<Edit_CL>(factory.AddEdit(window, 0, 0, 4, 1, ES_NUMBER | ES_RIGHT));
    thresholdEdit->LimitText(3);
    auto* percent = factory.GetControl<StaticText_CL>(factory.AddStaticText(window, L"% (1～100)", 0, 0));
    rows.BeginGroup(*factory.GetControl<GroupBox_CL>(factory.AddGroupBox(window, L"似ている動画", 0, 0, 10, 10)));
    rows.Place(*findSimilarCheck);
    // The label, the box and the unit on one row, the texts centred on the box's height.
    const int top = rows.GetY(), indent = 20;
    const int boxX = rows.GetLeft() + indent + label->GetWidth() + 6;
    thresholdEdit->Move(boxX, top, TRUE);
    const int middle = top + thresholdEdit->GetHeight() / 2;
    label->Move(rows.GetLeft() + indent, middle - label->GetHeight() / 2, TRUE);
    percent->Move(boxX + thresholdEdit->GetWidth() + 4, middle - percent->GetHeight() / 2, TRUE);
    rows.Skip(thresholdEdit->GetHeight() + RowLayout_CL::kGap);
    rows.EndGroup();
}

int PropAppSetting_CL::ThresholdEntered() const
{
    // Digits only (ES_NUMBER), but pasted text or an empty box get through: out of range is
    // brought to the nearest end, and nothing keeps the value the page opened with.
    const std::wstring text = thresholdEdit->GetText();
    if (text.empty() || text.find_first_not_of(L"0123456789") != std::wstring::npos)
        return ApplicationData_CL::ValidSimilarThreshold(settings.similarThreshold);
    const long value = text.size() > 3 ? 100 : std::wcstol(text.c_str(), nullptr, 10);
    return static_cast<int>(std::clamp<long>(value, 1, 100));
}

void PropAppSetting_CL::OnCommand(HWND from, UINT notification)
{
    bool changed = from == previewCountCombo->GetHwnd() && notification == CBN_SELENDOK;
    for (CheckBox_CL* box : {compareMovieCheck, compareImageCheck, completeMessageCheck, confirmDeleteCheck, verifyBeforeDeleteCheck,
                             findSimilarCheck})
        changed = changed || from == box->GetHwnd();
    changed = changed || (from == thresholdEdit->GetHwnd() && notification == EN_CHANGE);
    if (from == findSimilarCheck->GetHwnd()) thresholdEdit->Enable(findSimilarCheck->GetCheck());
    if (from == confirmDeleteCheck->GetHwnd() && !confirmDeleteCheck->GetCheck())
        ::MessageBoxW(hwnd, kConfirmOffWarning, L"お知らせ", MB_ICONEXCLAMATION);
    if (changed) ::SendMessageW(::GetParent(hwnd), PSM_CHANGED, reinterpret_cast<WPARAM>(hwnd), 0);
}

void PropAppSetting_CL::Apply()
{
    // Nothing selected (a value outside 0..3 in the INI selected nothing): keep a valid one.
    const int selected = previewCountCombo->GetCurSel();
    if (selected >= 0 && selected <= 3) settings.previewImageSizeIndex = selected;
    else if (settings.previewImageSizeIndex < 0 || settings.previewImageSizeIndex > 3) settings.previewImageSizeIndex = 2;
    settings.compareMovie = compareMovieCheck->GetCheck();
    settings.compareImage = compareImageCheck->GetCheck();
    settings.showCompleteMessage = completeMessageCheck->GetCheck();
    settings.confirmDelete = confirmDeleteCheck->GetCheck();
    settings.verifyBeforeDelete = verifyBeforeDeleteCheck->GetCheck();
    settings.findSimilar = findSimilarCheck->GetCheck();
    settings.similarThreshold = ThresholdEntered();
    thresholdEdit->SetText(std::to_wstring(settings.similarThreshold));
    TheIniFile().SetStrings(L"APP_INFO", {{L"prev_image_size_index", std::to_wstring(settings.previewImageSizeIndex)},
                                          {L"compare_movie", std::to_wstring(settings.compareMovie)},
                                          {L"compare_image", std::to_wstring(settings.compareImage)},
                                          {L"complete_msg", std::to_wstring(settings.showCompleteMessage)},
                                          {L"disp_erase_dialog", std::to_wstring(settings.confirmDelete)},
                                          {L"verify_before_delete", std::to_wstring(settings.verifyBeforeDelete)},
                                          {L"find_similar", std::to_wstring(settings.findSimilar)},
                                          {L"similar_threshold", std::to_wstring(settings.similarThreshold)}});
}

INT_PTR PropAppSetting_CL::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        SetTitle(L"アプリ設定");
        Build(window);
        ::ShowWindow(window, SW_SHOW);
        return 1;
    case WM_COMMAND:
        if (isBuilt) OnCommand(reinterpret_cast<HWND>(lParam), HIWORD(wParam));
        return 0;
    case WM_NOTIFY:
        if (reinterpret_cast<const NMHDR*>(lParam)->code == static_cast<UINT>(PSN_APPLY)) Apply();
        return 0;
    case WM_CLOSE:
        ::EndDialog(window, 0);
        return 0;
    }
    return 0;
}
