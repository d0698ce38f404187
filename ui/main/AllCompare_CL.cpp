#include "ui/main/AllCompare_CL.h"

AllCompare_CL::AllCompare_CL(const std::wstring& basePath, CompareFileEntry& member, const std::wstring& memberPath,
                             int row, RowView& view)
    : EasyProgress_CL(L"ファイルの完全比較を行っています。", true),
      basePath(basePath),
      member(member),
      memberPath(memberPath),
      row(row),
      view(view)
{
}

AllCompare_CL::~AllCompare_CL()
{
    Wait();
}

void AllCompare_CL::Compare2_CL::OnCompareProgress(int percent, uint64_t bytesCompared)
{
    entry.comparedBytes = bytesCompared;
    owner.SetProgress(percent * kProgressMaximum / 100);
    owner.view.ShowRow(owner.row, entry);
}

void AllCompare_CL::Run(int, int)
{
    Compare2_CL compare(*this, member);
    const int equal = compare.CompareWholeFiles(basePath, memberPath, kLargestStep, &isCanceled);
    result = isCanceled ? -2 : equal ? 0 : -1;
}

const wchar_t* AllCompare_CL::ResultText(int result)
{
    switch (result) {
    case 0:
        return L"ファイルの内容は完全に一致しました。";
    case -2:
        return L"ファイルの完全比較をキャンセルしました。";
    default:
        return L"ファイルの内容は一致しない部分が存在します。";
    }
}
