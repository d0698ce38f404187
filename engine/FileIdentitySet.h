#pragma once
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>

// The files (or folders) met so far, by identity rather than by path.
class FileIdentitySet {
public:
    // True and remembered when the open file is none of those met so far; false when it is
    // one of them reached by another path. A file whose identity cannot be read counts as new.
    bool InsertIfNew(HANDLE file, const std::wstring& path);
    void Clear() { byIndex.clear(); }
    bool IsEmpty() const { return byIndex.empty(); }

private:
    // Paths by file index; equal indexes are settled by the full identity, which is slow
    // to ask under Wine and therefore asked only then.
    std::multimap<uint64_t, std::wstring> byIndex;
};
