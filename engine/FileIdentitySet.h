#pragma once
#include <windows.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "engine/FileIdentity.h"

// The files (or folders) met so far, by identity rather than by path: two names that differ
// only in case are two files when their identities differ (a case-sensitive folder).
//
// Where a file's identity cannot be read (or reads as index 0, as on some cloud-sync and
// network drives) its path stands in, compared without regard to case: the only sign left
// that two names are one file, and taking them as one never lets a file stand as its own
// copy. Otherwise an unknown identity never makes two files one.
class FileIdentitySet {
public:
    // True and remembered when the open file is none of those met so far; false when it is
    // one of them reached by another path.
    bool InsertIfNew(HANDLE file, const std::wstring& path);
    // A file met without being opened, by the index its folder's listing gave (not 0).
    void InsertKnown(uint64_t index, const std::wstring& path) { byIndex.emplace(index, Member{path}); }
    // Whether the open file is one of those met so far.
    bool Contains(HANDLE file, const std::wstring& path) const;
    void Clear();
    bool IsEmpty() const { return byIndex.empty() && pathsWithoutIdentity.empty(); }

private:
    bool Contains(HANDLE file, uint64_t index) const;

    struct Member {
        std::wstring path;
        mutable bool isIdentityKnown = false;  // asked once, when an equal index first comes
        mutable bool hasIdentity = false;
        mutable FileIdentity identity;
    };
    // Members by file index; equal indexes are settled by the full identity, which is slow
    // to ask under Wine and therefore asked only then, once a member.
    std::multimap<uint64_t, Member> byIndex;
    std::set<std::wstring> pathsWithoutIdentity;  // case folded
};
