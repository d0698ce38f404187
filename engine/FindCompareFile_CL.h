#pragma once
#include <string>
#include <vector>

#include "core/ApplicationData_CL.h"
#include "core/ThreadBase_CL.h"
#include "engine/FirstFileCompare_CL.h"

class SearchListener_CL;

// One complete search on a worker thread of its own: clear the last results, collect the
// candidates (checked folders, or the listener's file list), find the groups, and tell
// the listener that the search is over. Every search runs on a freshly started thread.
class FindCompareFile_CL : public ThreadBase_CL {
public:
    static constexpr DWORD kStartPauseMs = 200;

    // The scanner of the job: the settings' extension filter, reports to the listener.
    class MyFirstFileCompare_CL : public FirstFileCompare_CL {
    public:
        explicit MyFirstFileCompare_CL(FindCompareFile_CL& owner) : owner(owner) {}
        int AcceptFile(const CompareFileEntry& file) override;
        void OnGroupFound(DuplicateGroup group) override;
        void OnProgress(int value) override;

    private:
        FindCompareFile_CL& owner;
    };

    FindCompareFile_CL(SearchListener_CL& listener, ApplicationData_CL& settings);
    ~FindCompareFile_CL() override;

    // Stops the previous worker, starts a new one and posts it the work request. The
    // folders (or files) to search and the settings the search reads are copied here, on
    // the caller's thread, so the user may edit them while the worker walks.
    void StartSearch();
    int OnThreadMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    MyFirstFileCompare_CL& Scanner() { return scanner; }

private:
    void RunSearch();

    MyFirstFileCompare_CL scanner;
    SearchListener_CL& listener;
    ApplicationData_CL& settings;
    ApplicationData_CL searchSettings;  // the settings as they were when the search started
    bool isFileListMode = false;
    std::vector<std::wstring> searchPaths;  // checked folders, or the listed files
};
