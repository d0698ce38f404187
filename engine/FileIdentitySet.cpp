#include "engine/FileIdentitySet.h"

#include "core/UniqueHandle.h"
#include "engine/FileIdentity.h"

bool FileIdentitySet::InsertIfNew(HANDLE file, const std::wstring& path)
{
    uint64_t index = 0;
    if (!FileIdentity::IndexOfHandle(file, index)) return true;
    auto [first, last] = byIndex.equal_range(index);
    if (first != last) {
        FileIdentity identity;
        if (!FileIdentity::OfHandle(file, identity)) return false;
        for (auto it = first; it != last; ++it) {
            FileHandle earlier(::CreateFileW(it->second.c_str(), FILE_READ_ATTRIBUTES,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
            FileIdentity other;
            if (!earlier || (FileIdentity::OfHandle(earlier.Get(), other) && other == identity)) return false;
        }
    }
    byIndex.emplace(index, path);
    return true;
}
