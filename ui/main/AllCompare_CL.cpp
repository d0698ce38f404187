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
    pair.member->comparedBytes = bytesCompared;
    const int count = static_cast<int>(owner.pairs.size());
    owner.SetProgress((index * 100 + percent) * kProgressMaximum / (100 * count));
    owner.view.ShowRow(pair.row, *pair.member);
}

void AllCompare_CL::Run(int, int)
{
    for (size_t i = 0; i < pairs.size() && !isCanceled; ++i) {
        Pair& pair = pairs[i];
        Compare2_CL compare(*this, pair, static_cast<int>(i));
        const int equal = compare.CompareWholeFiles(pair.basePath, pair.memberPath, kLargestStep, &isCanceled);
        pair.result = isCanceled ? -2 : equal ? 0 : -1;
    }
}

int AllCompare_CL::GetResult() const
{
    if (isCanceled) return -2;
    return pairs.empty() ? -1 : pairs.front().result;
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
