#include <gtest/gtest.h>

#include "core/ApplicationData_CL.h"
#include "core/Inifile_CL.h"
#include "core/Log_CL.h"
#include "engine/CompareTarget.h"
#include "support/TestFolder.h"

namespace {

std::vector<std::wstring> Extensions(const CompareFileInfo_CL& list)
{
    std::vector<std::wstring> extensions;
    for (int i = 0; i < list.GetCount(); ++i) extensions.push_back(list.GetAt(i).extension);
    return extensions;
}

// Settings loaded from an INI file with the given sections.
struct LoadedSettings {
    explicit LoadedSettings(const std::wstring& iniText)
    {
        if (!iniText.empty()) WriteUtf16File(folder / L"Quillmere.ini", iniText);
        settings.LoadFromFolder(folder.Path());
    }
    ~LoadedSettings() { TheLog().SetPath(L""); }

    int Accepts(const std::wstring& path) const
    {
        CompareFileEntry entry;
        entry.path = path;
        return IsCompareTarget(entry, settings);
    }

    TestFolder folder;
    ApplicationData_CL settings;
};

}  // namespace

TEST(CompareFileInfo, FreshListsHoldTheBuiltinsOnceInOrdinalOrder)
{
    LoadedSettings loaded(L"");
    const std::vector<std::wstring> movies = {
        L".3g2", L".3gp", L".3gp2", L".3gpp", L".asf", L".asx", L".avi", L".divx", L".flv", L".iso",
        L".m1v", L".m2t", L".m2ts", L".m2v", L".m4v", L".mkv", L".mod", L".mov", L".mp2v", L".mp4",
        L".mp4v", L".mpa", L".mpe", L".mpeg", L".mpg", L".mpv2", L".mts", L".ogg", L".rm", L".rmvb",
        L".ts", L".tts", L".vob", L".webm", L".wm", L".wmv", L".wmx", L".wvx", L".xvid"};
    EXPECT_EQ(Extensions(loaded.settings.movieExtInfo), movies);
    EXPECT_EQ(Extensions(loaded.settings.pictureExtInfo),
              (std::vector<std::wstring>{L".bmp", L".jpeg", L".jpg", L".png"}));
    for (int i = 0; i < loaded.settings.movieExtInfo.GetCount(); ++i) {
        EXPECT_EQ(loaded.settings.movieExtInfo.GetAt(i).isEnabled, 1);
        EXPECT_EQ(loaded.settings.movieExtInfo.GetAt(i).isBuiltin, 1);
    }
}

TEST(CompareFileInfo, StoredItemsSwitchEntriesOrAddUserEntries)
{
    LoadedSettings loaded(L"[COMPARE_EXT_INFO]\r\ncount=7\r\nitem0=0|.AVI\r\nitem1=1|.foo\r\nitem2=0|.FOO\r\n"
                          L"item3=1|.Bar\r\nitem4=0x.mkv\r\nitem5=1|\r\nitem6=0|.jpg\r\n");
    CompareFileInfo_CL& movies = loaded.settings.movieExtInfo;
    ExtEntry entry;
    ASSERT_TRUE(movies.Find(L".Avi", entry));
    EXPECT_EQ(entry.isEnabled, 0);
    EXPECT_EQ(entry.isBuiltin, 1);
    ASSERT_TRUE(movies.Find(L".foo", entry));
    EXPECT_EQ(entry.isEnabled, 0) << "the second item switches the user entry off";
    EXPECT_EQ(entry.isBuiltin, 0);
    EXPECT_EQ(entry.contentType, L"★ユーザー追加拡張子");
    ASSERT_TRUE(movies.Find(L".bar", entry));
    EXPECT_EQ(entry.extension, L".bar");
    ASSERT_TRUE(movies.Find(L".mkv", entry));
    EXPECT_EQ(entry.isEnabled, 0) << "the second character is never examined";
    EXPECT_EQ(movies.GetCount(), 39 + 3);
    EXPECT_FALSE(movies.Find(L"", entry));

    // Saved back in list order; shrinking leaves the old high item in place.
    movies.Save();
    std::wstring ini = BytesAsWide(ReadFileBytes(loaded.folder / L"Quillmere.ini"));
    EXPECT_NE(ini.find(L"item6=0|.avi"), std::wstring::npos);
    EXPECT_NE(ini.find(L"item7=1|.bar"), std::wstring::npos);
    EXPECT_NE(ini.find(L"item10=0|.foo"), std::wstring::npos);
    EXPECT_NE(ini.find(L"count=42"), std::wstring::npos);
    movies.RemoveAt(movies.GetCount() - 1);
    movies.Save();
    ini = BytesAsWide(ReadFileBytes(loaded.folder / L"Quillmere.ini"));
    EXPECT_NE(ini.find(L"count=41"), std::wstring::npos);
    EXPECT_NE(ini.find(L"item41="), std::wstring::npos);

    EXPECT_EQ(movies.Add(ExtEntry{1, 0, L".FOO", L""}, 1), 0) << "already listed";
    EXPECT_EQ(movies.Add(ExtEntry{1, 0, L".0ZZ", L""}, 1), 1);
    EXPECT_EQ(movies.GetAt(0).extension, L".0zz");
}

TEST(CompareTarget, FiltersByTheEnabledExtensionOfTheWholePath)
{
    LoadedSettings loaded(L"[COMPARE_EXT_INFO]\r\ncount=2\r\nitem0=0|.jpg\r\nitem1=0|.wmv\r\n");
    EXPECT_EQ(loaded.Accepts(L"C:\\A\\MOVIE.MKV"), 1);
    EXPECT_EQ(loaded.Accepts(L"C:\\A\\photo.PNG"), 1);
    EXPECT_EQ(loaded.Accepts(L"C:\\A\\noextension"), 0);
    EXPECT_EQ(loaded.Accepts(L"D:\\old.copies\\clip"), 0) << "the last dot of the whole path";
    EXPECT_EQ(loaded.Accepts(L"C:\\A\\x.jpg"), 0) << "a disabled movie entry wins over the still-image list";
    EXPECT_EQ(loaded.Accepts(L"C:\\A\\x.wmv"), 0);
    EXPECT_EQ(loaded.Accepts(L"C:\\A\\.hidden.avi"), 1);

    loaded.settings.compareMovie = 0;
    EXPECT_EQ(loaded.Accepts(L"C:\\A\\x.jpg"), 1) << "movies off: the still-image list decides";
    EXPECT_EQ(loaded.Accepts(L"C:\\A\\MOVIE.MKV"), 0);
    loaded.settings.compareImage = 0;
    EXPECT_EQ(loaded.Accepts(L"C:\\A\\x.jpg"), 0);
    EXPECT_EQ(loaded.Accepts(L"C:\\A\\MOVIE.MKV"), 0);
}
