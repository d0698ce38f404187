#include "engine/ExactFile_CL.h"

#include "core/PathFunctions.h"
#include "core/UniqueHandle.h"
#include "core/Log_CL.h"

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

uint64_t Join(DWORD high, DWORD low)
{
    return (uint64_t(high) << 32) | low;
}

ExactFile_CL::State StateOfHandle(HANDLE file)
{
    ExactFile_CL::State state;
    BY_HANDLE_FILE_INFORMATION info;
    FILE_BASIC_INFO basic;
    if (!::GetFileInformationByHandle(file, &info) || !FileIdentity::OfHandle(file, state.identity) ||
        !::GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof(basic))) {
        state.presence = ExactFile_CL::kUnreadable;
        return state;
    }
    state.presence = ExactFile_CL::kFound;
    state.size = Join(info.nFileSizeHigh, info.nFileSizeLow);
    state.lastWriteTime = Join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime);
    state.changeTime = static_cast<uint64_t>(basic.ChangeTime.QuadPart);
    return state;
}

bool IsNotFound(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME;
}

}  // namespace

ExactFile_CL::State ExactFile_CL::Look(const std::wstring& path)
{
    FileHandle file(::CreateFileW(LongPathForm(path).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) {
        State state;
        state.presence = IsNotFound(::GetLastError()) ? kAbsent : kUnreadable;
        return state;
    }
    return StateOfHandle(file.Get());
}

ExactFile_CL::Standing ExactFile_CL::Against(const CompareFileEntry& entry, const State& now)
{
    if (now.presence == kAbsent) return kMissing;
    if (now.presence == kUnreadable) return kCannotLook;
    if (entry.fileIndex != 0 && entry.fileIndex != now.identity.fileIndex) return kReplaced;
    if (entry.volumeSerial != 0 && now.identity.volumeSerial != 0 && entry.volumeSerial != now.identity.volumeSerial)
        return kReplaced;
    if (entry.size != now.size || entry.lastWriteTime != now.lastWriteTime ||
        (entry.changeTime != 0 && entry.changeTime != now.changeTime))
        return kChanged;
    return entry.fileIndex == 0 ? kUnknown : kSame;
}

bool ExactFile_CL::HasNameEndingInDotOrSpace(const std::wstring& path)
{
    for (size_t end = path.find(L'\\', 3);; end = path.find(L'\\', end + 1)) {
        const size_t at = (end == std::wstring::npos ? path.size() : end);
        if (at > 0 && (path[at - 1] == L'.' || path[at - 1] == L' ')) return true;
        if (end == std::wstring::npos) return false;
    }
}

std::wstring ExactFile_CL::ShellPathOf(const std::wstring& path, const FileIdentity& identity)
{
    if (HasNameEndingInDotOrSpace(path)) return {};
    const std::wstring shellPath = ShellPathForm(path);
    if (shellPath.size() >= MAX_PATH) return {};
    // Opened as the shell will open it: no "\\?\", so the platform's own reading of the path.
    FileHandle file(::CreateFileW(shellPath.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
    FileIdentity reached;
    if (!file || !FileIdentity::OfHandle(file.Get(), reached) || !(reached == identity)) return {};
    return shellPath;
}

bool ExactFile_CL::DeleteForGood(const std::wstring& path, const State& seen)
{
    FileHandle file(::CreateFileW(LongPathForm(path).c_str(), DELETE | FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    // Judged on the handle that deletes, so nothing can change between the look and the mark.
    if (!file || !StateOfHandle(file.Get()).SameFileUnchanged(seen)) return false;
    FILE_DISPOSITION_INFO disposition = {TRUE};
    if (!::SetFileInformationByHandle(file.Get(), FileDispositionInfo, &disposition, sizeof(disposition))) {
        TheLog().Write(L"SetFileInformationByHandle()エラー = %lu : %s", ::GetLastError(), path.c_str());
        return false;
    }
    // Marked is deleted: another program holding the file open (sharing delete) only defers
    // its going, while its name still answers "is it still there?" until then.
    return true;
}

bool ExactFile_CL::IsStillThere(const std::wstring& path, const FileIdentity& identity)
{
    const State now = Look(path);
    return now.presence == kUnreadable || (now.presence == kFound && now.identity == identity);
}
