#pragma once
#include <windows.h>

#include <cstdint>

// Which file (or folder) a handle refers to, whatever path reached it: hard links, links
// to folders and 8.3 spellings all give the same identity.
struct FileIdentity {
    uint32_t volumeSerial = 0;
    uint64_t fileIndex = 0;

    bool operator==(const FileIdentity&) const = default;

    // False when the platform could not tell, or told index 0: some cloud-sync and network
    // drives give 0 for every file, and such an identity must never make two files one.
    static bool OfHandle(HANDLE handle, FileIdentity& identity);
    // The file index alone. Much cheaper where the volume query is slow (Wine: 3 us against
    // 300 us); equal indexes on two volumes are possible, so a match needs OfHandle too.
    static bool IndexOfHandle(HANDLE handle, uint64_t& fileIndex);
    // The serial of the volume that holds the file (the slow query under Wine).
    static bool VolumeOfHandle(HANDLE handle, uint32_t& volumeSerial);

    // Where identities come from; tests put a drive of their own here.
    using Source = bool (*)(HANDLE handle, FileIdentity& identity, bool indexOnly);
    static Source& TheSource();
    static bool FromPlatform(HANDLE handle, FileIdentity& identity, bool indexOnly);
};
