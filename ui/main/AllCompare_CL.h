#pragma once
#include <cstdint>
#include <string>

#include "engine/CompareFileEntry.h"
#include "engine/FirstFileCompare_CL.h"
#include "ui/main/EasyProgress_CL.h"

// The whole-file comparison of a group member with the group's first file, on the worker
// thread of a progress dialog. The member's 比較量 counts up in its row as the comparison
// goes; the outcome is 0 (equal), -1 (different, or could not be compared) or -2 (cancelled).
class AllCompare_CL : public EasyProgress_CL {
public:
    static constexpr uint32_t kLargestStep = 0x200000;

    // Reports each step to the dialog and to the member's entry and row.
    class Compare2_CL : public FirstFileCompare_CL {
    public:
        Compare2_CL(AllCompare_CL& owner, CompareFileEntry& entry) : owner(owner), entry(entry) {}
        void OnCompareProgress(int percent, uint64_t bytesCompared) override;

    private:
        AllCompare_CL& owner;
        CompareFileEntry& entry;
    };

    // Where the row of the member is shown; called on the worker thread after each step.
    class RowView {
    public:
        virtual ~RowView() = default;
        virtual void ShowRow(int row, const CompareFileEntry& entry) = 0;
    };

    AllCompare_CL(const std::wstring& basePath, CompareFileEntry& member, const std::wstring& memberPath, int row,
                  RowView& view);
    ~AllCompare_CL() override;

    void Run(int, int) override;
    int GetResult() const { return result; }
    // The message for the result, as the "比較結果" box shows it.
    static const wchar_t* ResultText(int result);

private:
    std::wstring basePath;
    CompareFileEntry& member;
    std::wstring memberPath;
    int row;
    RowView& view;
    int result = 0;
};
