#pragma once
#include <windows.h>

#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/UniqueHandle.h"

// The program's INI file, UTF-16LE with a byte-order mark so that every stored text keeps
// its characters. Read through the platform's private-profile functions; written whole, to
// a temporary file that then replaces the old one, so that a reader (another instance, an
// editor) always finds either the old file or the new one, and a write that fails leaves
// the old file as it was. Writers of all instances take turns (a named mutex); nothing is
// written without it. A change that cannot be written (a read-only file, a full disk, the
// mutex not had) is kept for the run: reads see it and every later write carries it, and
// the first such failure is reported once. Usable from any thread.
class Inifile_CL {
public:
    static constexpr int kValueBufferLength = 8192;
    using KeyValues = std::vector<std::pair<std::wstring, std::wstring>>;

    // Creates a missing file as the two bytes FF FE. An existing file in another encoding
    // (UTF-16 big-endian or without its mark, an editor's UTF-8, code page 932) is converted
    // once. A file that is none of these is left untouched: reads then give the defaults and
    // writes are refused, so it is never overwritten. Temporary files that writers killed
    // mid-write left beside it are removed.
    void SetFileName(const std::wstring& path);
    const std::wstring& GetFileName() const { return fileName; }
    bool IsUnderstood() const { return isUnderstood; }

    // Held while an instance reads the file to merge its change into it and writes it back.
    class WriteLock {
    public:
        WriteLock();
        ~WriteLock();
        WriteLock(const WriteLock&) = delete;
        WriteLock& operator=(const WriteLock&) = delete;
        bool IsOwned() const { return owned; }

    private:
        KernelHandle mutex;
        bool owned;
    };

    int GetInt(const std::wstring& section, const std::wstring& key, int defaultValue) const;
    std::wstring GetString(const std::wstring& section, const std::wstring& key,
                           const std::wstring& defaultValue) const;
    int SetInt(const std::wstring& section, const std::wstring& key, int value) const;
    // 1 when written, 0 when the file was left as it was (logged; the change is kept for
    // the run unless the file is one this program does not understand).
    int SetString(const std::wstring& section, const std::wstring& key, const std::wstring& value) const;
    // Sets several keys of a section in one write (other keys of the section stay).
    int SetStrings(const std::wstring& section, const KeyValues& keys) const;

    // The values of the keys prefix0, prefix1, ... below `count` that the section holds, in
    // index order. Equal to reading each key from 0 to count-1 and skipping missing ones,
    // but its cost follows the file, not `count` (a damaged count of 2147483647 is harmless).
    std::vector<std::pair<int, std::wstring>> GetIndexedStrings(const std::wstring& section,
                                                                const std::wstring& prefix,
                                                                int count) const;

    // Called once a run, on the writing thread, with the reason for the first change that
    // could not be written.
    void SetWriteFailureReporter(std::function<void(const std::wstring& reason)> reporter);
    // Whether changes of this run wait unwritten.
    bool HasUnsavedChanges() const;

    // The text of a file of INI bytes in any of the encodings above; false when the bytes
    // are none of them.
    static bool DecodeText(const std::vector<char>& bytes, std::wstring& text);
    // The INI text with these keys of the section set (added at the section's end when new,
    // the section added at the end of the text when new). Headers and keys are found as the
    // platform's reader finds them ("[ name ] ; comment" is the section "name"); the cost
    // follows the size of the text and of `keys`.
    static std::wstring EditSection(const std::wstring& text, const std::wstring& section, const KeyValues& keys);
    // The keys of the section as the platform's reader sees them: the first of each name.
    static KeyValues ReadSection(const std::wstring& text, const std::wstring& section);

private:
    // Records the change among those waiting; the caller holds unsavedLock.
    void KeepUnsaved(const std::wstring& section, const KeyValues& keys) const;
    bool FindUnsaved(const std::wstring& section, const std::wstring& key, std::wstring& value) const;
    void ReportFailure(const std::wstring& reason) const;

    std::wstring fileName;
    bool isUnderstood = true;
    mutable std::mutex unsavedLock;
    // Per section, in the order first changed: the keys no write has carried to the file yet.
    mutable std::vector<std::pair<std::wstring, KeyValues>> unsaved;
    mutable bool failureReported = false;
    std::function<void(const std::wstring&)> failureReporter;
};

// The one process-wide INI accessor.
Inifile_CL& TheIniFile();
