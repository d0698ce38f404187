#include "ui/main/AllCompare_CL.h"

AllCompare_CL::AllCompare_CL(std::vector<Pair> pairs, RowView& view)
    : EasyProgress_CL(L"ファイルの完全比較を行っています。", true), pairs(std::move(pairs)), view(view)
{
}

AllCompare_CL::~AllCompare_CL()
{
    Wait();
}

void AllCompare_CL::Compare2_CL::OnCompareProgress(int percent, uint64_t bytesCompared)
{
    const int count = static_cast<int>(owner.pairs.size());
    owner.SetProgress((index * 100 + percent) * kProgressMaximum / (100 * count));
    CompareFileEntry shown = *pair.member;
    shown.comparedBytes = bytesCompared;
    if (pair.isAgainstGroupBase) pair.member->comparedBytes = bytesCompared;
    if (pair.row >= 0) owner.view.ShowRow(pair.row, shown);
}

void AllCompare_CL::Run(int, int)
{
    for (size_t i = 0; i < pairs.size() && !isCanceled; ++i) {
        Pair& pair = pairs[i];
        Compare2_CL compare(*this, pair, static_cast<int>(i));
        const int equal = compare.CompareWholeFiles(pair.basePath, pair.memberPath, kLargestStep, &isCanceled);
        pair.result = isCanceled ? kCanceled : equal ? kEqual : compare.WasChangedWhileCompared() ? kChanged : kDifferent;
        pair.wasNotOpened = compare.WasNotOpened();
        if (pair.result == kChanged && pair.isAgainstGroupBase) {
            // What was read is no longer the file: nothing of it counts as compared.
            pair.member->comparedBytes = 0;
            if (pair.row >= 0) view.ShowRow(pair.row, *pair.member);
        } else if (pair.row >= 0 && !pair.isAgainstGroupBase) {
            // The progress shown was against another file: the row shows its entry again.
            view.ShowRow(pair.row, *pair.member);
        }
    }
}

int AllCompare_CL::GetResult() const
{
    if (isCanceled) return kCanceled;
    return pairs.empty() ? kDifferent : pairs.front().result;
}

const wchar_t* AllCompare_CL::ResultText(int result)
{
    switch (result) {
    case kEqual:
        return L"ファイルの内容は完全に一致しました。";
    case kCanceled:
        return L"ファイルの完全比較をキャンセルしました。";
    case kChanged:
        return L"比較している間にファイルが書き換えられたため、内容が一致するかは分かりません。";
    default:
        return L"ファイルの内容は一致しない部分が存在します。";
    }
}
