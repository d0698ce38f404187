#pragma once
#include <string>

// The program's trace file: one timestamped UTF-16LE line per Write call. The file is
// opened and closed for every line, so two running instances can share it.
class Log_CL {
public:
    static constexpr int kDefaultSizeLimit = 0x2000000;  // 32 MiB
    static constexpr int kPrefixLength = 26;             // "YYYY/MM/DD hh:mm:ss.mmm : "
    static constexpr int kMessageRoom = 1040;            // message characters plus terminator
    static constexpr int kLineBufferLength = 1300;

    void SetPath(const std::wstring& path);

    // printf-style with Microsoft semantics: "%s" takes a wide string, "%I64d" a 64-bit integer.
    void Write(const wchar_t* format, ...);

private:
    void AppendLine(const std::wstring& path, const wchar_t* line, size_t length) const;

    int sizeLimit = kDefaultSizeLimit;
    std::wstring filePath;
};

// The one process-wide log.
Log_CL& TheLog();
