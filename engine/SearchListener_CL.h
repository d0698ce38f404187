#pragma once
#include <string>
#include <vector>

#include "engine/DuplicateGroup.h"

// What the search job needs from the window that shows its results. The first three calls
// come on the search worker thread and return only when the window has handled them.
class SearchListener_CL {
public:
    virtual ~SearchListener_CL() = default;
    virtual void SetSearchProgress(int value) = 0;
    virtual void AddGroup(const DuplicateGroup& group) = 0;
    // The search has ended, normally or by cancellation (MSG_COMPARE_FINISHED).
    virtual void OnSearchFinished() = 0;
    // The single files to compare instead of the folders; null when not in file-list mode.
    // Asked on the thread that starts the search.
    virtual const std::vector<std::wstring>* GetFileList() const = 0;
};
