#include "core/ApplicationData_CL.h"

#include <algorithm>
#include <functional>
#include <unordered_set>

#include "core/Inifile_CL.h"
#include "core/Log_CL.h"
#include "core/PathFunctions.h"
#include "core/Registry.h"
#include "core/UniqueHandle.h"

ApplicationData_CL& TheApplicationData()
{
    static ApplicationData_CL settings;
    return settings;
}

ApplicationData_CL::ApplicationData_CL()
    : movieExtInfo(L"COMPARE_EXT_INFO", CompareFileInfo_CL::kBuiltinMovieExtensions),
      pictureExtInfo(L"COMPARE_EXT_INFO_PIC", CompareFileInfo_CL::kBuiltinPictureExtensions)
{
}

std::wstring PlayerPathFromCommand(const std::wstring& command)
{
    if (command.size() < 7) return std::wstring();
    return command.substr(1, command.size() - 7);
}

static bool IsReadable(const std::wstring& path)
{
    FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    return file.IsValid();
}

void ApplicationData_CL::Load()
{
    LoadFromFolder(GetDocumentsFolder() + L"\\Quillmere");
}

void ApplicationData_CL::LoadFromFolder(const std::wstring& folder)
{
    dataFolder = folder;
    ::CreateDirectoryW(dataFolder.c_str(), nullptr);
    TheLog().SetPath(dataFolder + L"\\log.txt");
    TheLog().Write(L"\r\n\r\n★Quillmere開始");

    Inifile_CL& ini = TheIniFile();
    ini.SetFileName(dataFolder + L"\\Quillmere.ini");
    loadedIntact = IsReadable(ini.GetFileName());
    changedSinceLoad = false;

    wchar_t modulePath[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, modulePath, MAX_PATH);
    programFolder = GetDirectoryPart(modulePath);

    std::wstring command;
    playerPath.clear();
    if (SUCCEEDED(ReadRegistryString(HKEY_CLASSES_ROOT, L"Brisklet\\shell\\open\\command", L"", command)))
        playerPath = PlayerPathFromCommand(command);

    movieExtInfo.Load();
    pictureExtInfo.Load();

    noUpdateNotice = ini.GetInt(L"VERSION", L"notify", 0);
    compareMovie = ini.GetInt(L"APP_INFO", L"compare_movie", 1);
    compareImage = ini.GetInt(L"APP_INFO", L"compare_image", 1);
    previewImageSizeIndex = ini.GetInt(L"APP_INFO", L"prev_image_size_index", 2);
    confirmDelete = ini.GetInt(L"APP_INFO", L"disp_erase_dialog", 1);
    verifyBeforeDelete = ini.GetInt(L"APP_INFO", L"verify_before_delete", 1);
    showCompleteMessage = ini.GetInt(L"APP_INFO", L"complete_msg", 1);
    findSimilar = ini.GetInt(L"APP_INFO", L"find_similar", 0);
    similarThreshold = ValidSimilarThreshold(ini.GetInt(L"APP_INFO", L"similar_threshold", kDefaultSimilarThreshold));
    LoadCheckFolders();
}

int ApplicationData_CL::ValidSimilarThreshold(int value)
{
    return value >= 1 && value <= 100 ? value : kDefaultSimilarThreshold;
}

void ApplicationData_CL::LoadCheckFolders()
{
    const Inifile_CL& ini = TheIniFile();
    checkFolders.clear();
    int count = ini.GetInt(L"CHECK_FOLDER", L"count", 0);
    for (const auto& [index, item] : ini.GetIndexedStrings(L"CHECK_FOLDER", L"item", count)) {
        if (item.size() < 3) continue;
        checkFolders.push_back(CheckFolderEntry{item[0] == L'1' ? 1 : 0, item.substr(2)});
    }
}

void ApplicationData_CL::Save()
{
    if (!loadedIntact && !changedSinceLoad) return;
    movieExtInfo.Save();
    pictureExtInfo.Save();
    SaveCheckFolders();
}

void ApplicationData_CL::SaveCheckFolders() const
{
    Inifile_CL::KeyValues keys = {{L"count", std::to_wstring(checkFolders.size())}};
    for (size_t i = 0; i < checkFolders.size(); ++i)
        keys.emplace_back(NumberSuffix(L"item", static_cast<int>(i)),
                          std::to_wstring(checkFolders[i].isChecked) + L"|" + checkFolders[i].path);
    TheIniFile().SetStrings(L"CHECK_FOLDER", keys);
}

void ApplicationData_CL::ChangeCheckFolders(const std::function<void(std::vector<CheckFolderEntry>&)>& change)
{
    // Another instance may have stored its own changes since this one loaded: apply this
    // change to what the file holds now, and write the result at once.
    Inifile_CL::WriteLock lock;
    if (TheIniFile().IsUnderstood() && IsReadable(TheIniFile().GetFileName())) LoadCheckFolders();
    change(checkFolders);
    changedSinceLoad = true;
    SaveCheckFolders();
}

void ApplicationData_CL::AddCheckFolder(const CheckFolderEntry& entry)
{
    AddCheckFolders({entry});
}

void ApplicationData_CL::AddCheckFolders(const std::vector<CheckFolderEntry>& entries)
{
    ChangeCheckFolders([&](std::vector<CheckFolderEntry>& folders) {
        std::unordered_set<std::wstring> listed;
        for (const CheckFolderEntry& folder : folders) listed.insert(folder.path);
        for (const CheckFolderEntry& entry : entries)
            if (listed.insert(entry.path).second) folders.push_back(entry);
        std::stable_sort(folders.begin(), folders.end(),
                         [](const CheckFolderEntry& a, const CheckFolderEntry& b) { return a.path < b.path; });
    });
}

void ApplicationData_CL::RemoveCheckFolder(int index)
{
    if (index < 0 || index >= static_cast<int>(checkFolders.size())) return;
    const std::wstring path = checkFolders[index].path;
    ChangeCheckFolders([&](std::vector<CheckFolderEntry>& folders) {
        folders.erase(std::remove_if(folders.begin(), folders.end(), [&](const CheckFolderEntry& e) { return e.path == path; }),
                      folders.end());
    });
}

void ApplicationData_CL::SetCheckFolderChecked(int index, int isChecked)
{
    if (index < 0 || index >= static_cast<int>(checkFolders.size())) return;
    const std::wstring path = checkFolders[index].path;
    ChangeCheckFolders([&](std::vector<CheckFolderEntry>& folders) {
        for (CheckFolderEntry& folder : folders)
            if (folder.path == path) folder.isChecked = isChecked;
    });
}

int ApplicationData_CL::PreviewGridSide() const
{
    return previewImageSizeIndex >= 0 && previewImageSizeIndex <= 3 ? previewImageSizeIndex + 2 : 4;
}
