#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "engine/CompareFileEntry.h"
#include "engine/FileIdentity.h"

// The file a path names now, reached so that no other file can answer for it: through the
// "\\?\" form, which neither drops a trailing dot or space from a name nor stops at 260
// characters, and judged by its identity rather than by its name (a case-sensitive folder
// may hold "CLIP.avi" beside "clip.avi", and a case-blind lookup finds either).
class ExactFile_CL {
public:
    enum Presence { kAbsent, kFound, kUnreadable };
    // How the file at an entry's path stands against what the search saw there.
    enum Standing { kSame, kChanged, kReplaced, kMissing, kUnknown, kCannotLook };

    struct State {
        Presence presence = kAbsent;
        FileIdentity identity;
        uint64_t size = 0;
        uint64_t lastWriteTime = 0;
        uint64_t changeTime = 0;  // moves on every write, even one that sets the write time back

        bool SameFileUnchanged(const State& other) const
        {
            return presence == kFound && other.presence == kFound && identity == other.identity && size == other.size &&
                   lastWriteTime == other.lastWriteTime && changeTime == other.changeTime;
        }
    };

    static State Look(const std::wstring& path);
    // kUnknown: the search learnt no file index (a listed file), so only size and write time
    // can be told; kCannotLook: something is there but it cannot be opened.
    static Standing Against(const CompareFileEntry& entry, const State& now);

    // The path to hand to the shell for this file (which takes no "\\?\" paths): the plain
    // path or its 8.3 form, and only when opening that form reaches the very file. Empty
    // when no such path exists: a name in it ends in a dot or a space (the shell drops it
    // and may reach a sibling), or its short form is another file's.
    static std::wstring ShellPathOf(const std::wstring& path, const FileIdentity& identity);
    // Deletes for good the file at this path, through a handle opened by the "\\?\" form,
    // only when that handle shows the very state seen (identity, size, write time, change
    // time). True when the file is marked for deletion: it goes now, or when the last other
    // program that holds it open lets go (a name that still answers is no failure then).
    static bool DeleteForGood(const std::wstring& path, const State& seen);
    // Whether the file with this identity is still at the path (what is there under another
    // name's spelling does not count). An unreadable path counts as still there.
    static bool IsStillThere(const std::wstring& path, const FileIdentity& identity);

private:
    static bool HasNameEndingInDotOrSpace(const std::wstring& path);
};
