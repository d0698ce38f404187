#include "engine/FileIdentity.h"

namespace {

// The documented native query for a file's index (FileInternalInformation, class 6).
struct IoStatusBlock {
    union {
        LONG status;
        void* pointer;
    };
    ULONG_PTR information;
};
struct FileInternalInformation {
    LARGE_INTEGER indexNumber;
};
using QueryInformationFile = LONG(NTAPI*)(HANDLE, IoStatusBlock*, void*, ULONG, int);
constexpr int kFileInternalInformation = 6;

QueryInformationFile NativeQuery()
{
    static const auto query = reinterpret_cast<QueryInformationFile>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationFile")));
    return query;
}

}  // namespace

FileIdentity::Source& FileIdentity::TheSource()
{
    static Source source = &FromPlatform;
    return source;
}

bool FileIdentity::FromPlatform(HANDLE handle, FileIdentity& identity, bool indexOnly)
{
    if (QueryInformationFile query = indexOnly ? NativeQuery() : nullptr) {
        IoStatusBlock status = {};
        FileInternalInformation internal = {};
        if (query(handle, &status, &internal, sizeof(internal), kFileInternalInformation) >= 0) {
            identity.fileIndex = static_cast<uint64_t>(internal.indexNumber.QuadPart);
            return true;
        }
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(handle, &info)) return false;
    identity.volumeSerial = info.dwVolumeSerialNumber;
    identity.fileIndex = (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

bool FileIdentity::OfHandle(HANDLE handle, FileIdentity& identity)
{
    return TheSource()(handle, identity, false) && identity.fileIndex != 0;
}

bool FileIdentity::IndexOfHandle(HANDLE handle, uint64_t& fileIndex)
{
    FileIdentity identity;
    if (!TheSource()(handle, identity, true) || identity.fileIndex == 0) return false;
    fileIndex = identity.fileIndex;
    return true;
}

bool FileIdentity::VolumeOfHandle(HANDLE handle, uint32_t& volumeSerial)
{
    FileIdentity identity;
    if (!TheSource()(handle, identity, false)) return false;
    volumeSerial = identity.volumeSerial;
    return true;
}
