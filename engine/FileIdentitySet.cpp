#include "engine/FileIdentitySet.h"

#include "core/PathFunctions.h"
#include "core/UniqueHandle.h"
#include "engine/FileIdentity.h"

void FileIdentitySet::Clear()
{
    byIndex.clear();
    pathsWithoutIdentity.clear();
}

bool FileIdentitySet::Contains(HANDLE file, const std::wstring& path) const
{
    uint64_t index = 0;
    if (!FileIdentity::IndexOfHandle(file, index)) return pathsWithoutIdentity.contains(CaseFolded(path));
    return Contains(file, index);
}

bool FileIdentitySet::Contains(HANDLE file, uint64_t index) const
{
    auto [first, last] = byIndex.equal_range(index);
    if (first == last) return false;
    // Equal indexes: settled by the full identity. When it cannot be told, the files are
    // taken as one, which never lets a file stand as its own copy.
    FileIdentity identity;
    if (!FileIdentity::OfHandle(file, identity)) return true;
    for (auto it = first; it != last; ++it) {
        const Member& member = it->second;
        if (!member.isIdentityKnown) {
            FileHandle earlier(::CreateFileW(LongPathForm(member.path).c_str(), FILE_READ_ATTRIBUTES,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
            // A member that cannot be opened again is taken as this file (see above).
            member.hasIdentity = earlier && FileIdentity::OfHandle(earlier.Get(), member.identity);
            member.isIdentityKnown = earlier.IsValid();
            if (!earlier) return true;
        }
        if (member.hasIdentity && member.identity == identity) return true;
    }
    return false;
}

bool FileIdentitySet::InsertIfNew(HANDLE file, const std::wstring& path)
{
    uint64_t index = 0;
    if (!FileIdentity::IndexOfHandle(file, index)) return pathsWithoutIdentity.insert(CaseFolded(path)).second;
    if (Contains(file, index)) return false;
    byIndex.emplace(index, Member{path});
    return true;
}
