#pragma once
#include <windows.h>

#include <cstdint>

// Which file (or folder) a handle refers to, whatever path reached it: hard links, links
// to folders and 8.3 spellings all give the same identity.
struct FileIdentity {
    uint32_t volumeSerial = 0;
    uint64_t fileIndex = 0;

    bool operator==(const FileIdentity&) const = default;
    bool operator<(const FileIdentity& other) const
    {
        return volumeSerial != other.volumeSerial ? volumeSerial < other.volumeSerial : fileIndex < other.fileIndex;
    }

    // False when the platform could not tell.
    static bool OfHandle(HANDLE handle, FileIdentity& identity)
    {
        BY_HANDLE_FILE_INFORMATION info;
        if (!::GetFileInformationByHandle(handle, &info)) return false;
        identity.volumeSerial = info.dwVolumeSerialNumber;
        identity.fileIndex = (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        return true;
    }
};
