#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/CompareFileInfo_CL.h"

// One compare-target folder of the user's list.
struct CheckFolderEntry {
    int isChecked = 1;
    std::wstring path;
};

// The settings object: what outlives a run (options, folder list, extension lists) and a
// few run-time words of the main window that are never saved. Changed on the main thread
// only; a search works on a copy taken when it starts (only the run-time words are shared).
class ApplicationData_CL {
public:
    ApplicationData_CL();

    // Loads from Documents\Quillmere.
    void Load();
    // Loads from the given data folder (created if missing): opens the log there with its
    // start banner, binds the INI file and reads every setting.
    void LoadFromFolder(const std::wstring& folder);
    // Writes the two extension lists and the folder list (not over a file that could not be
    // read at start, unless this instance changed the folders since).
    void Save();

    // Changes of the folder list are written at once, merged into what the file holds
    // then, so that two instances never undo each other's changes. Adds unless the exact
    // path is listed; keeps the list in code-unit order of path.
    void AddCheckFolder(const CheckFolderEntry& entry);
    // Several in one change (one write), as a drop of many folders brings them.
    void AddCheckFolders(const std::vector<CheckFolderEntry>& entries);
    // The folder at `index` of the list as this instance shows it.
    void RemoveCheckFolder(int index);
    void SetCheckFolderChecked(int index, int isChecked);
    const std::vector<CheckFolderEntry>& GetCheckFolders() const { return checkFolders; }

    // Run-time words of the main window; written by the main thread, polled by workers.
    volatile LONG isMaximised = 0;
    volatile LONG isSearching = 0;
    volatile LONG isCancelRequested = 0;
    int selectedItemIndex = -1;

    std::wstring dataFolder;
    std::wstring programFolder;
    std::wstring playerPath;
    int noUpdateNotice = 0;
    CompareFileInfo_CL movieExtInfo;
    CompareFileInfo_CL pictureExtInfo;
    int previewImageSizeIndex = 2;
    // N of the N x N preview grid: 2 to 5; 4 for an index outside 0..3 (the INI is the user's).
    int PreviewGridSide() const;
    int compareMovie = 1;
    int compareImage = 1;
    int confirmDelete = 1;
    int verifyBeforeDelete = 1;
    int showCompleteMessage = 1;
    // After the exact search, look for the same movie in other encodings too.
    int findSimilar = 0;
    static constexpr int kDefaultSimilarThreshold = 70;  // the matcher's own default
    int similarThreshold = kDefaultSimilarThreshold;     // percent, 1..100
    // A threshold read from the INI (the user's to edit): outside 1..100 it is the default.
    static int ValidSimilarThreshold(int value);

private:
    void LoadCheckFolders();
    void SaveCheckFolders() const;
    void ChangeCheckFolders(const std::function<void(std::vector<CheckFolderEntry>&)>& change);

    std::vector<CheckFolderEntry> checkFolders;
    // A file that could not be read at start is not overwritten with the defaults that
    // stood in for it, unless the user changed the lists since.
    bool loadedIntact = true;
    bool changedSinceLoad = false;
};

// The executable path of the registered player command ("C:\x\player.exe" "%1"): without
// the first character and the last six. A command too short for that gives empty.
std::wstring PlayerPathFromCommand(const std::wstring& command);

// The one process-wide settings object.
ApplicationData_CL& TheApplicationData();
