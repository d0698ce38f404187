#pragma once
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>

#include "engine/FileIdentity.h"

// The files (or folders) met so far, by identity rather than by path.
class FileIdentitySet {
public:
    // True and remembered when the open file is none of those met so far; false when it is
    // one of them reached by another path. A file whose identity cannot be read (or reads
    // as index 0) counts as new: an unknown identity never makes two files one.
    bool InsertIfNew(HANDLE file, const std::wstring& path);
    // A file met without being opened, by the index its folder's listing gave (not 0).
    void InsertKnown(uint64_t index, const std::wstring& path) { byIndex.emplace(index, Member{path}); }
    void Clear() { byIndex.clear(); }
    bool IsEmpty() const { return byIndex.empty(); }
    // Whether the open file is one of those met so far (false when its identity is unknown).
    bool Contains(HANDLE file) const;

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
};
