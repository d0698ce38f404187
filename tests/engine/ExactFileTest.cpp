// Reaching exactly the file a path names, where the plain name would find another one.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "core/PathFunctions.h"
#include "core/UniqueHandle.h"
#include "engine/ExactFile_CL.h"
#include "support/TestFolder.h"

namespace {

CompareFileEntry EntryAsSeen(const std::wstring& path)
{
    const ExactFile_CL::State state = ExactFile_CL::Look(path);
    CompareFileEntry entry;
    entry.path = path;
    entry.size = state.size;
    entry.lastWriteTime = state.lastWriteTime;
    entry.changeTime = state.changeTime;
    entry.fileIndex = state.identity.fileIndex;
    return entry;
}

}  // namespace

TEST(ExactFile, NamesThatWouldReachAnotherFileAreNeverHandedOnAndTheFileItselfIsDeletedByItsHandle)
{
    TestFolder tree;
    // A folder whose name ends in a dot, beside one without: the plain path of the first
    // reaches the second.
    const std::wstring dotted = tree / L"movies.\\clip.avi", plain = tree / L"movies\\clip.avi";
    ASSERT_TRUE(MakeFolder(LongPathForm(tree / L"movies.")) && MakeFolder(tree / L"movies"));
    ASSERT_TRUE(MakeFileWithContent(LongPathForm(dotted), 3000, 1) && MakeFileWithContent(plain, 3000, 2));
    const ExactFile_CL::State dottedState = ExactFile_CL::Look(dotted), plainState = ExactFile_CL::Look(plain);
    ASSERT_EQ(dottedState.presence, ExactFile_CL::kFound);
    EXPECT_FALSE(dottedState.identity == plainState.identity);
    EXPECT_EQ(ExactFile_CL::ShellPathOf(dotted, dottedState.identity), L"");
    EXPECT_EQ(ExactFile_CL::ShellPathOf(plain, plainState.identity), plain);
    EXPECT_EQ(ExactFile_CL::ShellPathOf(plain, dottedState.identity), L"") << "a path reaching another file";

    const std::vector<uint8_t> plainBytes = ReadFileBytes(plain);
    EXPECT_FALSE(ExactFile_CL::DeleteForGood(dotted, plainState)) << "the identity is checked on the handle";
    // Seen before it was rewritten: any of size, write time, change time tells.
    for (uint64_t ExactFile_CL::State::*field :
         {&ExactFile_CL::State::size, &ExactFile_CL::State::lastWriteTime, &ExactFile_CL::State::changeTime}) {
        ExactFile_CL::State before = dottedState;
        before.*field -= 1;
        EXPECT_FALSE(ExactFile_CL::DeleteForGood(dotted, before)) << "a file changed since it was seen stays";
    }
    EXPECT_TRUE(ExactFile_CL::IsStillThere(dotted, dottedState.identity));
    {
        // Held open by another program that lets it be deleted: it goes when that one lets go.
        FileHandle holder(::CreateFileW(LongPathForm(dotted).c_str(), GENERIC_READ, 7, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder);
        EXPECT_TRUE(ExactFile_CL::DeleteForGood(dotted, dottedState)) << "a pending delete is a delete";
    }
    EXPECT_FALSE(ExactFile_CL::IsStillThere(dotted, dottedState.identity));
    EXPECT_EQ(ReadFileBytes(plain), plainBytes);

    // Two long names whose 8.3 forms are one (under Wine both are "HOME~LLD.MP4"): deep
    // enough for the shell to be given the short form, which reaches only one of them.
    std::wstring deep = tree / L"long folder";
    while (deep.size() < 240) deep += L"\\sub folder " + std::to_wstring(deep.size());
    ASSERT_TRUE(MakeFolder(deep));
    const std::wstring trip = deep + L"\\home_trip_2005_clip02.mp4", wedding = deep + L"\\home_wedding_2011_clip28.mp4";
    ASSERT_TRUE(MakeFileWithContent(trip, 100, 3) && MakeFileWithContent(wedding, 100, 4));
    const std::wstring tripShell = ExactFile_CL::ShellPathOf(trip, ExactFile_CL::Look(trip).identity);
    const std::wstring weddingShell = ExactFile_CL::ShellPathOf(wedding, ExactFile_CL::Look(wedding).identity);
    if (ShellPathForm(trip) == ShellPathForm(wedding)) {
        EXPECT_TRUE(tripShell.empty() != weddingShell.empty()) << "the one short form goes to the file it reaches only";
    }
    for (const auto& [path, shell] : {std::pair{trip, tripShell}, std::pair{wedding, weddingShell}}) {
        if (!shell.empty()) {
            EXPECT_TRUE(ExactFile_CL::Look(shell).identity == ExactFile_CL::Look(path).identity);
        }
    }

    // Two names differing only in case in one (case-sensitive) folder: once the ticked one is
    // gone, its name finds the other, which does not make the ticked one still there.
    ASSERT_TRUE(MakeFileWithContent(tree / L"upper.tmp", 500, 5) && MakeFileWithContent(tree / L"clip.avi", 500, 6));
    if (!MoveOnHost(tree / L"upper.tmp", tree.Path(), "CLIP.avi")) GTEST_SKIP() << "no host to make a case twin";
    const ExactFile_CL::State upper = ExactFile_CL::Look(tree / L"CLIP.avi");
    ASSERT_FALSE(upper.identity == ExactFile_CL::Look(tree / L"clip.avi").identity);
    ASSERT_TRUE(ExactFile_CL::DeleteForGood(tree / L"CLIP.avi", upper));
    EXPECT_EQ(ExactFile_CL::Look(tree / L"CLIP.avi").presence, ExactFile_CL::kFound) << "the name now finds the twin";
    EXPECT_FALSE(ExactFile_CL::IsStillThere(tree / L"CLIP.avi", upper.identity));
    EXPECT_EQ(ReadFileBytes(tree / L"clip.avi").size(), 500u);
}

TEST(ExactFile, AFileIsJudgedAgainstWhatTheSearchSawAtItsPath)
{
    TestFolder tree;
    const std::wstring path = tree / L"a.avi";
    MakeFileWithContent(path, 1000, 1);
    const CompareFileEntry seen = EntryAsSeen(path);
    EXPECT_EQ(ExactFile_CL::Against(seen, ExactFile_CL::Look(path)), ExactFile_CL::kSame);
    CompareFileEntry listed = seen;
    listed.fileIndex = 0;  // a listed file: the search learnt no index
    EXPECT_EQ(ExactFile_CL::Against(listed, ExactFile_CL::Look(path)), ExactFile_CL::kUnknown);
    // The same index on another volume is another file.
    CompareFileEntry elsewhere = seen;
    elsewhere.volumeSerial = ExactFile_CL::Look(path).identity.volumeSerial + 1;
    EXPECT_EQ(ExactFile_CL::Against(elsewhere, ExactFile_CL::Look(path)), ExactFile_CL::kReplaced);

    // Rewritten in place (same size, a later write time).
    FILETIME later = {};
    ::GetSystemTimeAsFileTime(&later);
    later.dwHighDateTime += 1;
    {
        FileHandle file(::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 7, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(::SetFileTime(file.Get(), nullptr, nullptr, &later));
    }
    EXPECT_EQ(ExactFile_CL::Against(seen, ExactFile_CL::Look(path)), ExactFile_CL::kChanged);

    // Replaced by another file of the same name, size and write time.
    ASSERT_TRUE(::MoveFileW(path.c_str(), (tree / L"old.avi").c_str()));
    MakeFileWithContent(path, 1000, 1);
    {
        FileHandle file(::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 7, nullptr, OPEN_EXISTING, 0, nullptr));
        FILETIME written = {DWORD(seen.lastWriteTime), DWORD(seen.lastWriteTime >> 32)};
        ASSERT_TRUE(::SetFileTime(file.Get(), nullptr, nullptr, &written));
    }
    EXPECT_EQ(ExactFile_CL::Against(seen, ExactFile_CL::Look(path)), ExactFile_CL::kReplaced);
    ::DeleteFileW(path.c_str());
    EXPECT_EQ(ExactFile_CL::Against(seen, ExactFile_CL::Look(path)), ExactFile_CL::kMissing);
}
