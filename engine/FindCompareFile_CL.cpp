#include "engine/FindCompareFile_CL.h"

#include "engine/DigestCache_CL.h"

#include "core/ApplicationData_CL.h"
#include "core/Log_CL.h"
#include "engine/CompareTarget.h"
#include "engine/SearchListener_CL.h"

int FindCompareFile_CL::MyFirstFileCompare_CL::AcceptFile(const CompareFileEntry& file)
{
    return IsCompareTarget(file, owner.searchSettings);
}

void FindCompareFile_CL::MyFirstFileCompare_CL::OnGroupFound(DuplicateGroup group)
{
    TheLog().Write(L"重複ファイルを見つけた");
    owner.listener.AddGroup(group);
}

void FindCompareFile_CL::MyFirstFileCompare_CL::OnProgress(int value)
{
    owner.listener.SetSearchProgress(value);
}

FindCompareFile_CL::FindCompareFile_CL(SearchListener_CL& listener, ApplicationData_CL& settings)
    : scanner(*this), listener(listener), settings(settings)
{
}

FindCompareFile_CL::~FindCompareFile_CL()
{
    Stop();
}

void FindCompareFile_CL::StartSearch()
{
    Stop();
    searchSettings = settings;
    searchPaths.clear();
    const std::vector<std::wstring>* fileList = listener.GetFileList();
    isFileListMode = fileList != nullptr;
    if (fileList) {
        searchPaths = *fileList;
    } else {
        for (const CheckFolderEntry& folder : settings.GetCheckFolders())
            if (folder.isChecked == 1) searchPaths.push_back(folder.path);
    }
    Start();
    ::Sleep(kStartPauseMs);
    Post(kWorkRequest, 0, 0);
}

int FindCompareFile_CL::OnThreadMessage(UINT message, WPARAM, LPARAM)
{
    if (message == kWorkRequest) RunSearch();
    return 0;
}

void FindCompareFile_CL::RunSearch()
{
    scanner.Clear();
    const volatile LONG* cancel = &settings.isCancelRequested;
    // What earlier searches read, loaded during the walk: a rescan opens only files that
    // changed or still look alike.
    DigestCache_CL cache;
    const std::wstring& dataFolder = searchSettings.dataFolder;
    const std::wstring cachePath = dataFolder.empty() ? std::wstring() : dataFolder + L"\\digests.cache";
    if (!cachePath.empty()) cache.StartLoad(cachePath);
    if (isFileListMode) {
        for (const std::wstring& path : searchPaths) scanner.AddFile(path);
    } else {
        scanner.ScanFolders(searchPaths, cancel);
    }
    if (!cachePath.empty()) scanner.SetDigestCache(&cache);
    scanner.FindDuplicates(cancel);
    scanner.SetDigestCache(nullptr);
    if (!cachePath.empty()) cache.Save(cachePath);
    listener.OnSearchFinished();
}
