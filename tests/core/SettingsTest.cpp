#include <gtest/gtest.h>

#include <thread>

#include "core/ApplicationData_CL.h"
#include "core/Inifile_CL.h"
#include "core/Log_CL.h"
#include "core/PathFunctions.h"
#include "core/Registry.h"
#include "core/UniqueHandle.h"
#include "support/TestFolder.h"

namespace {

std::wstring IniText(const std::wstring& folder)
{
    return BytesAsWide(ReadFileBytes(folder + L"\\Quillmere.ini"));
}

std::vector<std::wstring> Paths(const ApplicationData_CL& settings)
{
    std::vector<std::wstring> paths;
    for (const auto& entry : settings.GetCheckFolders()) paths.push_back(entry.path);
    return paths;
}

}  // namespace

TEST(Settings, FirstStartCreatesTheFolderABomOnlyIniAndTheDefaults)
{
    TestFolder root;
    std::wstring folder = root / L"Quillmere";
    ApplicationData_CL settings;
    settings.LoadFromFolder(folder);

    EXPECT_EQ(ReadFileBytes(folder + L"\\Quillmere.ini"), (std::vector<uint8_t>{0xFF, 0xFE}));
    EXPECT_EQ(settings.dataFolder, folder);
    EXPECT_EQ(settings.compareMovie, 1);
    EXPECT_EQ(settings.compareImage, 1);
    EXPECT_EQ(settings.previewImageSizeIndex, 2);
    EXPECT_EQ(settings.confirmDelete, 1);
    EXPECT_EQ(settings.showCompleteMessage, 1);
    EXPECT_EQ(settings.noUpdateNotice, 0);
    EXPECT_EQ(settings.selectedItemIndex, -1);
    EXPECT_TRUE(settings.GetCheckFolders().empty());
    EXPECT_FALSE(settings.programFolder.empty());
    EXPECT_EQ(settings.programFolder.back() == L'\\', false);

    // The banner: a prefix, two empty lines, then the banner line.
    std::wstring log = BytesAsWide(ReadFileBytes(folder + L"\\log.txt"));
    ASSERT_GE(log.size(), 27u);
    EXPECT_EQ(log[0], 0xFEFF);
    EXPECT_EQ(log.substr(1 + 23, 3), L" : ");
    EXPECT_EQ(log.substr(1 + 26), L"\r\n\r\n★Quillmere開始\r\n");
    TheLog().SetPath(L"");
}

TEST(Settings, ReadsFolderItemsAsStoredAndStopsAtCount)
{
    TestFolder folder;
    WriteUtf16File(folder / L"Quillmere.ini",
                   L"[APP_INFO]\r\ncompare_movie=0\r\nprev_image_size_index=3\r\ncomplete_msg=x\r\n"
                   L"[VERSION]\r\nnotify=1\r\n"
                   L"[CHECK_FOLDER]\r\ncount=7\r\nitem0=0|C:\\Video\r\nitem1=1|D:\\Video\r\nitem2=x|E:\\V\r\n"
                   L"item3=1|\r\nitem4=ab\r\nitem6=1|F:\\Last\r\nitem7=1|G:\\Beyond\r\nitem05=1|H:\\Odd\r\n");
    ApplicationData_CL settings;
    settings.LoadFromFolder(folder.Path());

    EXPECT_EQ(settings.compareMovie, 0);
    EXPECT_EQ(settings.previewImageSizeIndex, 3);
    EXPECT_EQ(settings.showCompleteMessage, 0) << "a value that is no number reads as 0";
    EXPECT_EQ(settings.noUpdateNotice, 1);
    const auto& folders = settings.GetCheckFolders();
    ASSERT_EQ(folders.size(), 4u);
    EXPECT_EQ(folders[0].path, L"C:\\Video");
    EXPECT_EQ(folders[0].isChecked, 0);
    EXPECT_EQ(folders[1].path, L"D:\\Video");
    EXPECT_EQ(folders[1].isChecked, 1);
    EXPECT_EQ(folders[2].path, L"E:\\V");
    EXPECT_EQ(folders[2].isChecked, 0);
    EXPECT_EQ(folders[3].path, L"F:\\Last");
    TheLog().SetPath(L"");
}

TEST(Settings, FolderListKeepsCodeUnitOrderAndSurvivesSaveAndReload)
{
    TestFolder folder;
    ApplicationData_CL settings;
    settings.LoadFromFolder(folder.Path());
    const std::wstring japanese = L"C:\\動画\\テスト①〜ｶﾅ";
    for (const wchar_t* path : {L"D:\\a", L"D:\\B", L"D:\\A", japanese.c_str(), L"D:\\A"})
        settings.AddCheckFolder(CheckFolderEntry{1, path});
    settings.SetCheckFolderChecked(1, 0);
    EXPECT_EQ(Paths(settings), (std::vector<std::wstring>{L"C:\\動画\\テスト①〜ｶﾅ", L"D:\\A", L"D:\\B", L"D:\\a"}));
    settings.Save();

    ApplicationData_CL reloaded;
    reloaded.LoadFromFolder(folder.Path());
    EXPECT_EQ(Paths(reloaded), Paths(settings));
    EXPECT_EQ(reloaded.GetCheckFolders()[1].isChecked, 0);
    EXPECT_NE(IniText(folder.Path()).find(L"item0=1|" + japanese + L"\r\n"), std::wstring::npos)
        << "stored as UTF-16 code units";

    // Shrinking leaves the old items in the file, and readers stop at count.
    reloaded.RemoveCheckFolder(3);
    reloaded.RemoveCheckFolder(0);
    reloaded.Save();
    EXPECT_NE(IniText(folder.Path()).find(L"item3=1|D:\\a"), std::wstring::npos);
    ApplicationData_CL shrunk;
    shrunk.LoadFromFolder(folder.Path());
    EXPECT_EQ(Paths(shrunk), (std::vector<std::wstring>{L"D:\\A", L"D:\\B"}));
    TheLog().SetPath(L"");
}

TEST(Settings, HugeCountsReadOnlyTheItemsPresent)
{
    TestFolder folder;
    WriteUtf16File(folder / L"Quillmere.ini",
                   L"[CHECK_FOLDER]\r\ncount=2147483647\r\nitem2=1|C:\\Two\r\nITEM0=0|C:\\Zero\r\n"
                   L"[COMPARE_EXT_INFO]\r\ncount=2147483647\r\nitem0=0|.avi\r\nitem1=1|.foo\r\n"
                   L"[COMPARE_EXT_INFO_PIC]\r\ncount=2147483647\r\nitem0=0|.png\r\n");
    ApplicationData_CL settings;
    settings.LoadFromFolder(folder.Path());
    EXPECT_EQ(Paths(settings), (std::vector<std::wstring>{L"C:\\Zero", L"C:\\Two"})) << "index order";
    ExtEntry entry;
    ASSERT_TRUE(settings.movieExtInfo.Find(L".avi", entry));
    EXPECT_EQ(entry.isEnabled, 0);
    EXPECT_EQ(settings.movieExtInfo.GetCount(), 40);
    ASSERT_TRUE(settings.pictureExtInfo.Find(L".png", entry));
    EXPECT_EQ(entry.isEnabled, 0);
    TheLog().SetPath(L"");
}

TEST(Settings, DamagedFilesLoadWhatTheyCanAndLoseNothing)
{
    // An editor's UTF-8 save without BOM: read, and converted so saving keeps Japanese.
    TestFolder folder;
    std::string utf8 = "[CHECK_FOLDER]\r\ncount=1\r\nitem0=1|C:\\\xE5\x8B\x95\xE7\x94\xBB\r\n";
    WriteFileBytes(folder / L"Quillmere.ini", utf8.data(), utf8.size());
    ApplicationData_CL settings;
    settings.LoadFromFolder(folder.Path());
    EXPECT_EQ(Paths(settings), std::vector<std::wstring>{L"C:\\動画"});
    settings.AddCheckFolder(CheckFolderEntry{1, L"D:\\新しい"});
    settings.Save();
    ApplicationData_CL reloaded;
    reloaded.LoadFromFolder(folder.Path());
    EXPECT_EQ(Paths(reloaded), (std::vector<std::wstring>{L"C:\\動画", L"D:\\新しい"}));

    // A value longer than the buffer is cut, not overrun.
    TestFolder other;
    WriteUtf16File(other / L"Quillmere.ini",
                   L"[CHECK_FOLDER]\r\ncount=1\r\nitem0=1|" + std::wstring(20000, L'x') + L"\r\n");
    ApplicationData_CL longValue;
    longValue.LoadFromFolder(other.Path());
    ASSERT_EQ(longValue.GetCheckFolders().size(), 1u);
    EXPECT_EQ(longValue.GetCheckFolders()[0].path.size(), 8191u - 2);

    // A file locked while loading is not replaced by the defaults at the end.
    TestFolder locked;
    std::wstring ini = locked / L"Quillmere.ini";
    WriteUtf16File(ini, L"[CHECK_FOLDER]\r\ncount=1\r\nitem0=1|C:\\Keep\r\n");
    std::vector<uint8_t> before = ReadFileBytes(ini);
    ApplicationData_CL blocked;
    {
        FileHandle exclusive(::CreateFileW(ini.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(exclusive.IsValid());
        blocked.LoadFromFolder(locked.Path());
    }
    EXPECT_TRUE(blocked.GetCheckFolders().empty());
    blocked.Save();
    EXPECT_EQ(ReadFileBytes(ini), before);
    TheLog().SetPath(L"");
}

TEST(Settings, PlayerPathIsTheQuotedExecutableOfTheRegisteredCommand)
{
    EXPECT_EQ(PlayerPathFromCommand(L"\"C:\\Tools\\player.exe\" \"%1\""), L"C:\\Tools\\player.exe");
    EXPECT_EQ(PlayerPathFromCommand(L""), L"");
    EXPECT_EQ(PlayerPathFromCommand(L"abc"), L"") << "too short to trim: no read outside the text";
    EXPECT_EQ(PlayerPathFromCommand(L"abcdefg"), L"");

    const std::wstring key = L"Software\\QuillmereTest\\shell\\open\\command";
    HKEY created = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created,
                                nullptr),
              ERROR_SUCCESS);
    RegKey keyHandle(created);
    auto setValue = [&](const wchar_t* name, const std::wstring& value) {
        ::RegSetValueExW(keyHandle.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    };
    setValue(nullptr, L"\"C:\\プレーヤー\\player.exe\" \"%1\"");
    setValue(L"fits", std::wstring(129, L'a'));
    setValue(L"long", std::wstring(130, L'a'));

    std::wstring out = L"unchanged";
    EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, key, L"", out), S_OK);
    EXPECT_EQ(PlayerPathFromCommand(out), L"C:\\プレーヤー\\player.exe");
    EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, key, L"fits", out), S_OK);
    EXPECT_EQ(out.size(), 129u);
    out = L"unchanged";
    EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, key, L"long", out), E_FAIL);
    EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, L"Software\\NoSuchKeyQuillmere", L"", out), E_FAIL);
    EXPECT_EQ(out, L"unchanged");
    keyHandle.Reset();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\QuillmereTest");
}

namespace {

// The same settings in the encodings an editor may save them in.
std::vector<uint8_t> Encoded(const std::wstring& text, const std::string& encoding)
{
    std::vector<uint8_t> bytes;
    auto narrow = [&](UINT codePage) {
        int length = ::WideCharToMultiByte(codePage, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
        std::string converted(length, '\0');
        ::WideCharToMultiByte(codePage, 0, text.c_str(), static_cast<int>(text.size()), converted.data(), length, nullptr, nullptr);
        bytes.insert(bytes.end(), converted.begin(), converted.end());
    };
    auto utf16 = [&](bool bigEndian) {
        for (wchar_t c : text) {
            uint8_t high = static_cast<uint8_t>(c >> 8), low = static_cast<uint8_t>(c & 0xFF);
            bytes.push_back(bigEndian ? high : low);
            bytes.push_back(bigEndian ? low : high);
        }
    };
    if (encoding == "utf-16be") {
        bytes = {0xFE, 0xFF};
        utf16(true);
    } else if (encoding == "utf-16le-unmarked") {
        utf16(false);
    } else if (encoding == "utf-8-marked") {
        bytes = {0xEF, 0xBB, 0xBF};
        narrow(CP_UTF8);
    } else if (encoding == "utf-8") {
        narrow(CP_UTF8);
    } else {
        narrow(932);
    }
    return bytes;
}

}  // namespace

TEST(Settings, IniFilesInOtherEncodingsAreReadAndConvertedOnceAndUnreadableOnesLeftAlone)
{
    const std::wstring text = L"[APP_INFO]\r\ncomplete_msg=0\r\nprev_image_size_index=3\r\n"
                              L"[CHECK_FOLDER]\r\ncount=2\r\nitem0=0|D:\\動画\\アニメ\r\nitem1=1|E:\\録画\r\n";
    for (const char* encoding : {"utf-16be", "utf-16le-unmarked", "utf-8-marked", "utf-8", "cp932"}) {
        SCOPED_TRACE(encoding);
        TestFolder folder;
        WriteFileBytes(folder / L"Quillmere.ini", Encoded(text, encoding));
        ApplicationData_CL settings;
        settings.LoadFromFolder(folder.Path());
        EXPECT_EQ(settings.showCompleteMessage, 0);
        EXPECT_EQ(settings.previewImageSizeIndex, 3);
        ASSERT_EQ(Paths(settings), (std::vector<std::wstring>{L"D:\\動画\\アニメ", L"E:\\録画"}));
        EXPECT_EQ(settings.GetCheckFolders()[0].isChecked, 0);
        std::vector<uint8_t> converted = ReadFileBytes(folder / L"Quillmere.ini");
        ASSERT_GE(converted.size(), 2u);
        EXPECT_EQ(converted[0], 0xFF);
        EXPECT_EQ(converted[1], 0xFE);
        EXPECT_EQ(IniText(folder.Path()).substr(1), text) << "nothing lost in the conversion";
        ApplicationData_CL again;
        again.LoadFromFolder(folder.Path());
        EXPECT_EQ(ReadFileBytes(folder / L"Quillmere.ini"), converted) << "converted once";
    }

    // Random bytes are no settings file: defaults, and the file is never overwritten.
    TestFolder folder;
    std::vector<uint8_t> noise(3000);
    uint32_t state = 12345;
    for (uint8_t& byte : noise) byte = static_cast<uint8_t>((state = state * 1103515245 + 12345) >> 16);
    WriteFileBytes(folder / L"Quillmere.ini", noise);
    ApplicationData_CL settings;
    settings.LoadFromFolder(folder.Path());
    EXPECT_EQ(settings.previewImageSizeIndex, 2);
    EXPECT_TRUE(settings.GetCheckFolders().empty());
    settings.AddCheckFolder({1, L"C:\\New"});
    settings.Save();
    EXPECT_EQ(ReadFileBytes(folder / L"Quillmere.ini"), noise);
    EXPECT_EQ(Paths(settings), std::vector<std::wstring>{L"C:\\New"}) << "kept for this run";
    TheLog().SetPath(L"");
}

TEST(Settings, TwoInstancesNeverUndoEachOthersFolderChanges)
{
    TestFolder folder;
    WriteUtf16File(folder / L"Quillmere.ini", L"[CHECK_FOLDER]\r\ncount=3\r\nitem0=1|C:\\A\r\nitem1=1|C:\\B\r\nitem2=0|C:\\C\r\n");
    ApplicationData_CL first, second;
    first.LoadFromFolder(folder.Path());
    second.LoadFromFolder(folder.Path());

    first.RemoveCheckFolder(0);          // A goes
    second.SetCheckFolderChecked(2, 1);  // C is ticked in the other window, which still shows A
    second.AddCheckFolder({1, L"C:\\D"});
    first.SetCheckFolderChecked(0, 0);   // B, as the first window shows it now
    EXPECT_EQ(Paths(first), (std::vector<std::wstring>{L"C:\\B", L"C:\\C", L"C:\\D"})) << "the merged list";

    ApplicationData_CL reloaded;
    reloaded.LoadFromFolder(folder.Path());
    ASSERT_EQ(Paths(reloaded), (std::vector<std::wstring>{L"C:\\B", L"C:\\C", L"C:\\D"}));
    EXPECT_EQ(reloaded.GetCheckFolders()[0].isChecked, 0);
    EXPECT_EQ(reloaded.GetCheckFolders()[1].isChecked, 1);
    EXPECT_EQ(reloaded.GetCheckFolders()[2].isChecked, 1);
    TheLog().SetPath(L"");
}

TEST(Settings, AWriteThatFailsLeavesThePreviousIniIntact)
{
    TestFolder folder;
    const std::wstring ini = folder / L"Quillmere.ini";
    WriteUtf16File(ini, L"[CHECK_FOLDER]\r\ncount=1\r\nitem0=1|C:\\Keep\r\n");
    ApplicationData_CL settings;
    settings.LoadFromFolder(folder.Path());
    const std::vector<uint8_t> before = ReadFileBytes(ini);
    ::SetFileAttributesW(ini.c_str(), FILE_ATTRIBUTE_READONLY);
    settings.AddCheckFolder({1, L"C:\\New"});
    EXPECT_EQ(TheIniFile().SetInt(L"APP_INFO", L"complete_msg", 0), 0);
    ::SetFileAttributesW(ini.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(ReadFileBytes(ini), before);
    WIN32_FIND_DATAW found;
    FindHandle leftovers(::FindFirstFileW((ini + L".tmp*").c_str(), &found));
    EXPECT_FALSE(leftovers.IsValid()) << "no temporary file left behind";
    EXPECT_NE(BytesAsWide(ReadFileBytes(folder / L"log.txt")).find(L"INI書き込みエラー"), std::wstring::npos);

    // The editing keeps what it does not touch: other sections, other keys, their order.
    EXPECT_EQ(Inifile_CL::EditSection(L"[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n", L"a", {{L"X", L"3"}, {L"z", L"4"}}),
              L"[A]\r\nX=3\r\nz=4\r\n\r\n[B]\r\ny=2\r\n");
    EXPECT_EQ(Inifile_CL::EditSection(L"", L"NEW", {{L"k", L"v"}}), L"[NEW]\r\nk=v\r\n");
    TheLog().SetPath(L"");
}

TEST(Settings, HandEditedHeadersKeepEveryChangeAcrossARestart)
{
    TestFolder folder;
    WriteUtf16File(folder / L"Quillmere.ini", L"[APP_INFO] ; options\r\ncomplete_msg=1\r\n\r\n"
                                              L"[ CHECK_FOLDER ] ; video folders\r\ncount=1\r\nitem0=1|C:\\A\r\n\r\n"
                                              L"[\tCOMPARE_EXT_INFO ]\r\n");
    {
        ApplicationData_CL settings;
        settings.LoadFromFolder(folder.Path());
        ASSERT_EQ(Paths(settings), std::vector<std::wstring>{L"C:\\A"});
        settings.AddCheckFolder({1, L"C:\\B"});
        settings.SetCheckFolderChecked(0, 0);
        settings.AddCheckFolder({1, L"C:\\C"});
        TheIniFile().SetInt(L"APP_INFO", L"complete_msg", 0);
    }
    ApplicationData_CL reloaded;
    reloaded.LoadFromFolder(folder.Path());
    ASSERT_EQ(Paths(reloaded), (std::vector<std::wstring>{L"C:\\A", L"C:\\B", L"C:\\C"}));
    EXPECT_EQ(reloaded.GetCheckFolders()[0].isChecked, 0);
    EXPECT_EQ(reloaded.showCompleteMessage, 0);
    const std::wstring text = IniText(folder.Path());
    EXPECT_EQ(text.find(L"CHECK_FOLDER]"), text.rfind(L"CHECK_FOLDER]")) << "no second header";
    EXPECT_EQ(text.find(L"APP_INFO]"), text.rfind(L"APP_INFO]"));
    EXPECT_NE(text.find(L"[ CHECK_FOLDER ] ; video folders\r\n"), std::wstring::npos) << "the user's header kept";

    // The name runs to the line's last "]", as the platform's reader takes it.
    EXPECT_EQ(Inifile_CL::EditSection(L"[A]x]\r\nk=1\r\n", L"A", {{L"k", L"2"}}), L"[A]x]\r\nk=1\r\n[A]\r\nk=2\r\n");
    EXPECT_EQ(Inifile_CL::EditSection(L"  [ a ]  ;c\r\nk=1\r\nk=9\r\n[B]\r\n", L"A", {{L" K ", L"2"}, {L"n", L"3"}, {L"N", L"4"}}),
              L"  [ a ]  ;c\r\n K =2\r\nk=9\r\nN=4\r\n[B]\r\n");
    EXPECT_EQ(Inifile_CL::ReadSection(L"[a]\r\n k = \" v \" \r\nk=2\r\nq='x'\r\n[b]\r\nz=1\r\n", L"A"),
              (Inifile_CL::KeyValues{{L"k", L" v "}, {L"q", L"x"}}));
    TheLog().SetPath(L"");
}

TEST(Settings, ChangesThatCannotBeWrittenAreKeptForTheRunAndToldOnce)
{
    TestFolder folder;
    const std::wstring ini = folder / L"Quillmere.ini";
    WriteUtf16File(ini, L"[CHECK_FOLDER]\r\ncount=2\r\nitem0=1|C:\\A\r\nitem1=1|C:\\B\r\n");
    ApplicationData_CL settings;
    settings.LoadFromFolder(folder.Path());
    std::vector<std::wstring> reasons;
    TheIniFile().SetWriteFailureReporter([&](const std::wstring& reason) { reasons.push_back(reason); });

    // A read-only file: the window's list keeps both changes, not only the last.
    ::SetFileAttributesW(ini.c_str(), FILE_ATTRIBUTE_READONLY);
    settings.RemoveCheckFolder(0);
    settings.AddCheckFolder({1, L"C:\\C"});
    EXPECT_EQ(Paths(settings), (std::vector<std::wstring>{L"C:\\B", L"C:\\C"}));
    EXPECT_EQ(TheIniFile().GetInt(L"CHECK_FOLDER", L"count", 0), 2);
    ::SetFileAttributesW(ini.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(IniText(folder.Path()).find(L"C:\\C"), std::wstring::npos);

    // A temporary file that cannot be made (as on a full disk): the same.
    const std::wstring temporary = ini + L".tmp" + std::to_wstring(::GetCurrentProcessId());
    MakeFolder(temporary);
    settings.SetCheckFolderChecked(0, 0);
    TheIniFile().SetInt(L"APP_INFO", L"complete_msg", 0);
    EXPECT_EQ(TheIniFile().GetInt(L"APP_INFO", L"complete_msg", 1), 0);
    EXPECT_TRUE(TheIniFile().HasUnsavedChanges());
    ::RemoveDirectoryW(temporary.c_str());
    ASSERT_EQ(reasons.size(), 1u) << "told once";
    EXPECT_FALSE(reasons[0].empty());

    // The next write that succeeds carries every change of the run.
    settings.AddCheckFolder({1, L"C:\\D"});
    EXPECT_FALSE(TheIniFile().HasUnsavedChanges());
    TheIniFile().SetWriteFailureReporter(nullptr);
    ApplicationData_CL reloaded;
    reloaded.LoadFromFolder(folder.Path());
    ASSERT_EQ(Paths(reloaded), (std::vector<std::wstring>{L"C:\\B", L"C:\\C", L"C:\\D"}));
    EXPECT_EQ(reloaded.GetCheckFolders()[0].isChecked, 0);
    EXPECT_EQ(reloaded.showCompleteMessage, 0);
    TheLog().SetPath(L"");
}

TEST(Settings, TwoWritersOverEightThousandFoldersLoseNoChangeAndKilledWritersLeaveNothing)
{
    TestFolder folder;
    const std::wstring ini = folder / L"Quillmere.ini";
    std::wstring text = L"[CHECK_FOLDER]\r\ncount=8000\r\n";
    for (int i = 0; i < 8000; ++i) text += L"item" + std::to_wstring(i) + L"=1|C:\\F" + std::to_wstring(10000 + i) + L"\r\n";
    WriteUtf16File(ini, text);
    // Temporaries of writers killed mid-write; names that are not such files stay.
    for (const wchar_t* name : {L"Quillmere.ini.tmp123", L"Quillmere.ini.tmp98765", L"Quillmere.ini.tmpx", L"notes.tmp1"})
        WriteUtf16File(folder / name, L"x");
    ApplicationData_CL first, second;
    first.LoadFromFolder(folder.Path());
    EXPECT_FALSE(FileExists(folder / L"Quillmere.ini.tmp123"));
    EXPECT_FALSE(FileExists(folder / L"Quillmere.ini.tmp98765"));
    EXPECT_TRUE(FileExists(folder / L"Quillmere.ini.tmpx"));
    EXPECT_TRUE(FileExists(folder / L"notes.tmp1"));
    second.LoadFromFolder(folder.Path());
    ASSERT_EQ(first.GetCheckFolders().size(), 8000u);

    // Two windows at once: one unticks folders, the other adds some.
    std::thread unticking([&] {
        for (int i = 0; i < 15; ++i) first.SetCheckFolderChecked(i * 2, 0);
    });
    for (int i = 0; i < 15; ++i) second.AddCheckFolder({1, L"C:\\G" + std::to_wstring(i)});
    unticking.join();

    ApplicationData_CL reloaded;
    reloaded.LoadFromFolder(folder.Path());
    ASSERT_EQ(reloaded.GetCheckFolders().size(), 8015u);
    for (int i = 0; i < 15; ++i) EXPECT_EQ(reloaded.GetCheckFolders()[i * 2].isChecked, 0) << i;
    EXPECT_EQ(reloaded.GetCheckFolders()[1].isChecked, 1);
    EXPECT_EQ(reloaded.GetCheckFolders().back().path, L"C:\\G9");
    TheLog().SetPath(L"");
}
