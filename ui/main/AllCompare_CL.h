#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/CompareFileEntry.h"
#include "engine/FirstFileCompare_CL.h"
#include "ui/main/EasyProgress_CL.h"

// Whole-file comparisons of group members with a file of their group, one after another on
// the worker thread of a progress dialog: the user's comparison of one member with the
// group's first file, or the check of every file about to be deleted against a file that
// stays. Each member's 比較量 counts up in its row as its comparison goes. A comparison's
// outcome is 0 (equal), -1 (different, or could not be compared), -2 (cancelled) or -3 (a
// file changed while it was compared).
class AllCompare_CL : public EasyProgress_CL {
public:
    static constexpr uint32_t kLargestStep = 0x200000;
    enum { kEqual = 0, kDifferent = -1, kCanceled = -2, kChanged = -3 };

    // One member to compare, and with what.
    struct Pair {
        std::wstring basePath;
        CompareFileEntry* member = nullptr;
        std::wstring memberPath;
        int row = -1;  // -1: shown in no row
        int result = -1;
        bool wasNotOpened = false;  // kDifferent because a file could not be opened
        // Only a comparison with the group's first file may count in the member's 比較量:
        // "compared to the end" with another file proves nothing about the first.
        bool isAgainstGroupBase = true;
    };

    // Reports each step to the dialog and to the member's entry and row.
    class Compare2_CL : public FirstFileCompare_CL {
    public:
        Compare2_CL(AllCompare_CL& owner, const Pair& pair, int index) : owner(owner), pair(pair), index(index) {}
        void OnCompareProgress(int percent, uint64_t bytesCompared) override;

    private:
        AllCompare_CL& owner;
        const Pair& pair;
        int index;
    };

    // Where the rows of the members are shown; called on the worker thread after each step.
    class RowView {
    public:
        virtual ~RowView() = default;
        virtual void ShowRow(int row, const CompareFileEntry& entry) = 0;
    };

    AllCompare_CL(std::vector<Pair> pairs, RowView& view);
    ~AllCompare_CL() override;

    void Run(int, int) override;
    const std::vector<Pair>& GetPairs() const { return pairs; }
    // -2 when cancelled, else the first pair's outcome.
    int GetResult() const;
    // The message for an outcome, as the "比較結果" box shows it.
    static const wchar_t* ResultText(int result);

private:
    std::vector<Pair> pairs;
    RowView& view;
};
