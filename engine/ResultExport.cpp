#include "engine/ResultExport.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

namespace {

std::string Utf8(const std::wstring& text)
{
    if (text.empty()) return std::string();
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(bytes, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), bytes, nullptr, nullptr);
    return out;
}

// A field in quotes when it holds a comma, a quote or a line break, its quotes doubled.
std::string CsvField(const std::wstring& text)
{
    const std::string bytes = Utf8(text);
    if (bytes.find_first_of(",\"\r\n") == std::string::npos) return bytes;
    std::string quoted = "\"";
    for (char c : bytes) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

std::wstring ComparedShareText(const CompareFileEntry& entry, bool isGroupBase)
{
    if (isGroupBase) return L"---";
    const int64_t size = static_cast<int64_t>(entry.size);
    const int64_t percent = size == 0 ? 0 : static_cast<int64_t>(entry.comparedBytes) * 100 / size;
    return std::to_wstring(percent) + L"%";
}

std::wstring LocalTimeText(uint64_t fileTime)
{
    if (fileTime == 0) return std::wstring();
    FILETIME utc = {static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32)}, local;
    SYSTEMTIME time;
    if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToSystemTime(&local, &time)) return std::wstring();
    wchar_t text[32];
    swprintf(text, 32, L"%04u/%02u/%02u %02u:%02u:%02u", time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute,
             time.wSecond);
    return text;
}

std::wstring ShareText(const CompareFileEntry& entry, bool isGroupBase, bool isSimilar)
{
    if (isSimilar) return L"類似 " + std::to_wstring(entry.similarity) + L"%";
    return ComparedShareText(entry, isGroupBase);
}

uint64_t WastedBytes(const DuplicateGroup& group)
{
    if (group.empty()) return 0;
    if (!group.isSimilar) return group.front()->size * (group.size() - 1);
    // Whichever file is kept, at least all but the largest can go.
    uint64_t total = 0, largest = 0;
    for (const CompareFileEntry* entry : group) {
        total += entry->size;
        largest = std::max(largest, entry->size);
    }
    return total - largest;
}

std::string ResultCsv(const std::vector<const DuplicateGroup*>& groups)
{
    const bool anySimilar = std::any_of(groups.begin(), groups.end(), [](const DuplicateGroup* group) { return group->isSimilar; });
    std::string csv = "\xEF\xBB\xBF" + Utf8(L"グループ,パス,サイズ,更新日時,比較量,チェック");
    csv += (anySimilar ? Utf8(L",種類,類似度") : "") + "\r\n";
    const std::string exact = "," + Utf8(L"同一") + ",", similar = "," + Utf8(L"類似") + ",";
    for (size_t g = 0; g < groups.size(); ++g) {
        const DuplicateGroup& group = *groups[g];
        for (size_t i = 0; i < group.size(); ++i) {
            const CompareFileEntry& entry = *group[i];
            csv += std::to_string(g + 1) + "," + CsvField(entry.path) + "," + std::to_string(entry.size) + "," +
                   CsvField(LocalTimeText(entry.lastWriteTime)) + "," + CsvField(ShareText(entry, i == 0, group.isSimilar)) + "," +
                   (entry.isTicked ? "1" : "0");
            if (anySimilar) csv += group.isSimilar ? similar + std::to_string(entry.similarity) + "%" : exact;
            csv += "\r\n";
        }
    }
    return csv;
}
