#include "ui/main/FileDelete_CL.h"

#include <shellapi.h>

#include <algorithm>
#include <set>

#include "core/ApplicationData_CL.h"
#include "core/Log_CL.h"
#include "core/PathFunctions.h"
#include "engine/FirstFileCompare_CL.h"

namespace {

const wchar_t kResultTitle[] = L"削除結果";
const wchar_t kNotDeletedText[] =
    L"選択されたファイル全てを削除する事ができませんでした。\r\nファイルが使用中の可能性がありますので確認ください。";

bool IsKnownToTheEnd(const CompareFileEntry& entry, int row)
{
    return row == 0 || entry.comparedBytes >= entry.size;
}

}  // namespace

FileDelete_CL::FileDelete_CL(HWND owner, FirstFileCompare_CL& scanner, const ApplicationData_CL& settings,
                             AllCompare_CL::RowView& view, int viewedGroup)
    : owner(owner), scanner(scanner), settings(settings), view(view), viewedGroup(viewedGroup)
{
}

const wchar_t* FileDelete_CL::ReasonText(Reason reason)
{
    switch (reason) {
    case kDiffers:
        return L"次のファイルは、残すファイルと内容が一致しない部分があるため削除しませんでした。";
    case kChanged:
        return L"次のファイルは、検索の後か比較の間に、このファイルか残すファイルが書き換えられたため削除しませんでした。";
    case kReplaced:
        return L"次のファイルは、検索の後で同じ名前の別のファイルに置き換えられていたため削除しませんでした。";
    case kKeptMissing:
        return L"次のファイルは、残すファイルが見つからないため削除しませんでした。";
    case kCannotCheck:
        return L"次のファイルは、このファイルか残すファイルを確かめられなかったため削除しませんでした。";
    case kSameFileAsKept:
        return L"次のファイルは、残すファイルと同じファイルを別の名前で指しているため削除しませんでした。";
    case kNoExactName:
        return L"次のファイルは、名前の末尾のピリオドや空白などのため、このファイルだけを指す名前でごみ箱に移せないので"
               L"削除しませんでした。SHIFTキーを押しながら削除すると、完全に削除します。";
    case kDeclined:
        return L"次のファイルは、削除の確認で取り消されたため削除しませんでした。";
    default:
        return kNotDeletedText;
    }
}

std::wstring FileDelete_CL::DoubleNulList(const std::vector<std::wstring>& paths)
{
    std::wstring list;
    for (const std::wstring& path : paths) {
        list += path;
        list.push_back(L'\0');
    }
    list.push_back(L'\0');
    return list;
}

std::vector<std::wstring> FileDelete_CL::PathsSafeToDelete(const std::vector<std::wstring>& checked,
                                                           const std::vector<std::wstring>& kept)
{
    std::vector<FileIdentity> taken;
    for (const std::wstring& path : kept) {
        const ExactFile_CL::State state = ExactFile_CL::Look(path);
        if (state.presence == ExactFile_CL::kFound) taken.push_back(state.identity);
    }
    std::vector<std::wstring> safe;
    for (const std::wstring& path : checked) {
        const ExactFile_CL::State state = ExactFile_CL::Look(path);
        if (state.presence == ExactFile_CL::kFound) {
            if (std::find(taken.begin(), taken.end(), state.identity) != taken.end()) {
                TheLog().Write(L"同じファイルを指すため削除しません : %s", path.c_str());
                continue;
            }
            taken.push_back(state.identity);
        }
        safe.push_back(path);
    }
    return safe;
}

void FileDelete_CL::LookAtGroup(const GroupTicks& ticks, const DuplicateGroup& members)
{
    const int count = static_cast<int>(members.size());
    auto isTicked = [&](int row) { return std::find(ticks.tickedRows.begin(), ticks.tickedRows.end(), row) != ticks.tickedRows.end(); };
    std::vector<std::wstring> tickedPaths, stayingPaths;
    for (int row = 0; row < count; ++row) (isTicked(row) ? tickedPaths : stayingPaths).push_back(members[row]->path);
    const std::vector<std::wstring> safe = PathsSafeToDelete(tickedPaths, stayingPaths);

    const bool hasKept = ticks.keptRow >= 0 && ticks.keptRow < count;
    ExactFile_CL::State keptSeen;
    ExactFile_CL::Standing keptStanding = ExactFile_CL::kSame;
    if (hasKept) {
        keptSeen = ExactFile_CL::Look(members[ticks.keptRow]->path);
        keptStanding = ExactFile_CL::Against(*members[ticks.keptRow], keptSeen);
    }
    for (int row : ticks.tickedRows) {
        if (row < 0 || row >= count) continue;
        Target target;
        target.groupIndex = ticks.groupIndex;
        target.row = row;
        target.entry = members[row];
        target.seen = ExactFile_CL::Look(target.entry->path);
        if (hasKept) {
            target.kept = members[ticks.keptRow];
            target.keptSeen = keptSeen;
            target.isKeptGroupBase = ticks.keptRow == 0;
        }
        target.isSimilar = members.isSimilar;
        // Ticked in two groups (a movie in an exact and a similar group): judged by each group's
        // look, it goes only if every look lets it (see StrictestLook).
        const auto twin = std::find_if(targets.begin(), targets.end(), [&](const Target& other) { return other.entry == target.entry; });
        const int twinIndex = twin != targets.end() ? static_cast<int>(twin - targets.begin()) : -1;
        if (target.isSimilar) target.reason = SimilarReason(ExactFile_CL::Against(*target.entry, target.seen), keptStanding, hasKept);
        else switch (ExactFile_CL::Against(*target.entry, target.seen)) {
        case ExactFile_CL::kMissing:
            target.reason = kGone;
            break;
        case ExactFile_CL::kReplaced:
            target.reason = kReplaced;
            break;
        case ExactFile_CL::kCannotLook:
            target.reason = kCannotCheck;
            break;
        case ExactFile_CL::kChanged:
        case ExactFile_CL::kUnknown:
            // What the search found no longer tells: only a comparison with the file that stays does.
            target.needsComparing = hasKept;
            break;
        case ExactFile_CL::kSame:
            target.needsComparing = hasKept && settings.verifyBeforeDelete &&
                                    !(IsKnownToTheEnd(*target.entry, row) && IsKnownToTheEnd(*target.kept, ticks.keptRow));
            break;
        }
        if (target.reason == kNone && std::find(safe.begin(), safe.end(), target.entry->path) == safe.end()) {
            // Another ticked name of one file goes with that name; a kept name keeps the file.
            const auto earlier = std::find_if(targets.begin(), targets.end(), [&](const Target& other) {
                return other.seen.presence == ExactFile_CL::kFound && other.seen.identity == target.seen.identity;
            });
            if (earlier != targets.end())
                target.sameFileAs = static_cast<int>(earlier - targets.begin());
            else
                target.reason = kSameFileAsKept;
        }
        if (target.reason == kNone && hasKept && !target.isSimilar) {
            if (keptStanding == ExactFile_CL::kMissing)
                target.reason = kKeptMissing;
            else if (keptStanding == ExactFile_CL::kCannotLook)
                target.reason = kCannotCheck;
            else if (keptStanding != ExactFile_CL::kSame)
                target.needsComparing = true;
        }
        if (twinIndex >= 0) target.sameFileAs = twinIndex;
        targets.push_back(target);
    }
}

bool FileDelete_CL::CompareWhereNeeded()
{
    std::vector<AllCompare_CL::Pair> pairs;
    std::vector<Target*> compared;
    for (Target& target : targets) {
        if (target.reason != kNone || !target.needsComparing) continue;
        AllCompare_CL::Pair pair;
        pair.basePath = target.kept->path;
        pair.member = target.entry;
        pair.memberPath = target.entry->path;
        pair.row = target.groupIndex == viewedGroup ? target.row : -1;
        pair.isAgainstGroupBase = target.isKeptGroupBase;
        pairs.push_back(pair);
        compared.push_back(&target);
    }
    if (pairs.empty() || isStopped) return !isStopped;
    AllCompare_CL compare(std::move(pairs), view);
    comparison = &compare;
    compare.Start(0, 0);
    compare.DoModal(owner);
    compare.Wait();
    comparison = nullptr;
    if (compare.GetResult() == AllCompare_CL::kCanceled || isStopped) return false;
    for (size_t i = 0; i < compared.size(); ++i) {
        const AllCompare_CL::Pair& pair = compare.GetPairs()[i];
        if (pair.result == AllCompare_CL::kEqual) continue;
        // A file that could not be opened comes back as different: say what it was.
        const Reason now = ReasonNow(*compared[i]);
        if (now != kNone)
            compared[i]->reason = now;
        else if (pair.wasNotOpened)
            compared[i]->reason = kCannotCheck;
        else
            compared[i]->reason = pair.result == AllCompare_CL::kChanged ? kChanged : kDiffers;
    }
    return true;
}

bool FileDelete_CL::AskDeleteForGood(const std::vector<Target*>& forGood) const
{
    std::wstring text = L"次のファイルを完全に削除します。よろしいですか？\r\n";
    for (const Target* target : forGood) text += L"\r\n" + GetFileNamePart(target->entry->path);
    return ::MessageBoxW(owner, text.c_str(), L"削除の確認", MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

FileDelete_CL::Reason FileDelete_CL::SimilarReason(ExactFile_CL::Standing ticked, ExactFile_CL::Standing kept, bool hasKept)
{
    switch (ticked) {
    case ExactFile_CL::kMissing:
        return kGone;
    case ExactFile_CL::kReplaced:
        return kReplaced;
    case ExactFile_CL::kCannotLook:
        return kCannotCheck;
    case ExactFile_CL::kChanged:
        return kChanged;  // not the movie the user weighed
    case ExactFile_CL::kSame:
    case ExactFile_CL::kUnknown:
        break;
    }
    if (!hasKept) return kNone;
    switch (kept) {
    case ExactFile_CL::kMissing:
    case ExactFile_CL::kReplaced:
        return kKeptMissing;
    case ExactFile_CL::kCannotLook:
        return kCannotCheck;
    default:
        return kNone;
    }
}

FileDelete_CL::Reason FileDelete_CL::StrictestLook(const Target& target) const
{
    for (const Target& look : targets)
        if (look.entry == target.entry && look.reason != kNone) return look.reason;
    return kNone;
}

FileDelete_CL::Reason FileDelete_CL::ReasonNowEverywhere(const Target& target) const
{
    Reason now = ReasonNow(target);
    for (const Target& look : targets)
        if (now == kNone && &look != &target && look.entry == target.entry) now = ReasonNow(look);
    return now;
}

FileDelete_CL::Reason FileDelete_CL::ReasonNow(const Target& target)
{
    const ExactFile_CL::State now = ExactFile_CL::Look(target.entry->path);
    if (now.presence == ExactFile_CL::kAbsent) return kGone;
    if (now.presence == ExactFile_CL::kUnreadable) return kCannotCheck;
    if (!now.SameFileUnchanged(target.seen)) return kChanged;
    if (!target.kept) return kNone;
    const ExactFile_CL::State keptNow = ExactFile_CL::Look(target.kept->path);
    if (keptNow.presence == ExactFile_CL::kAbsent) return kKeptMissing;
    if (keptNow.presence == ExactFile_CL::kUnreadable) return kCannotCheck;
    if (target.isSimilar) return keptNow.identity == target.keptSeen.identity ? kNone : kKeptMissing;
    return keptNow.SameFileUnchanged(target.keptSeen) ? kNone : kChanged;
}

void FileDelete_CL::DeclineAllLeft()
{
    for (Target& target : targets)
        if (target.reason == kNone) target.reason = kDeclined;
}

void FileDelete_CL::Delete(bool forGood)
{
    std::vector<Target*> viaShell, byHandle;
    for (Target& target : targets) {
        if (target.reason != kNone || target.sameFileAs >= 0) continue;
        target.shellPath = ExactFile_CL::ShellPathOf(target.entry->path, target.seen.identity);
        target.viaShell = !target.shellPath.empty();
        if (target.viaShell)
            viaShell.push_back(&target);
        else if (forGood)
            byHandle.push_back(&target);
        else
            target.reason = kNoExactName;
    }
    // Asked before the last checks: the question may stay up for as long as the user likes.
    if (!byHandle.empty() && settings.confirmDelete && !AskDeleteForGood(byHandle))
        for (Target* target : byHandle) target->reason = kDeclined;
    if (isStopped) return DeclineAllLeft();

    bool wasAborted = false;
    std::vector<std::wstring> shellPaths;
    // Both files once more, as they are now: nothing may have changed since they were judged.
    // The shell's own confirmation still lies between this and the delete.
    for (Target* target : viaShell) {
        target->reason = ReasonNowEverywhere(*target);
        if (target->reason == kNone) shellPaths.push_back(target->shellPath);
    }
    if (!shellPaths.empty()) {
        // The rows come here last row first: the shell takes them first row first.
        std::reverse(shellPaths.begin(), shellPaths.end());
        const std::wstring list = DoubleNulList(shellPaths);
        FILEOP_FLAGS flags = settings.confirmDelete && isShellAsking ? FOF_ALLOWUNDO : FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
        flags = forGood ? flags & ~FOF_ALLOWUNDO : flags | FOF_ALLOWUNDO;
        SHFILEOPSTRUCTW operation = {};
        operation.hwnd = owner;
        operation.wFunc = FO_DELETE;
        operation.pFrom = list.c_str();
        operation.fFlags = flags;
        const int result = ::SHFileOperationW(&operation);
        wasAborted = operation.fAnyOperationsAborted != FALSE;
        if (result != 0) TheLog().Write(L"SHFileOperation()エラー = %d (aborted %d)", result, wasAborted ? 1 : 0);
    }
    // The window may have been closed while the shell's dialog was up.
    if (isStopped)
        for (Target* target : byHandle)
            if (target->reason == kNone) target->reason = kDeclined;
    for (Target* target : byHandle) {
        if (target->reason != kNone) continue;
        // The ticked file is judged on the deleting handle; the kept file just before.
        target->reason = ReasonNowEverywhere(*target);
        if (target->reason != kNone) continue;
        if (ExactFile_CL::DeleteForGood(target->entry->path, target->seen))
            target->reason = kGone;
        else
            TheLog().Write(L"削除できません : %s", target->entry->path.c_str());
    }
    // Gone is judged by identity: the ticked file may be gone while its name now finds another.
    for (Target& target : targets) {
        if (target.reason != kNone) continue;
        if (!ExactFile_CL::IsStillThere(target.entry->path, target.seen.identity))
            target.reason = kGone;
        else if (target.sameFileAs >= 0)
            target.reason = targets[target.sameFileAs].reason;
        else
            target.reason = target.viaShell && wasAborted ? kDeclined : kNotDeleted;
    }
}

void FileDelete_CL::CountFromNewBase(DuplicateGroup& group)
{
    // Each count was measured against the first file, which is gone: the new first file and
    // another are known equal only as far as both were equal to the old one.
    const uint64_t newBaseEqual = group.front()->comparedBytes;
    for (CompareFileEntry* member : group) member->comparedBytes = std::min(member->comparedBytes, newBaseEqual);
}

void FileDelete_CL::TakeOutOfOtherGroups(const std::vector<GroupTicks>& ticks, std::vector<GroupOutcome>& outcomes)
{
    std::set<const CompareFileEntry*> gone;
    for (const Target& target : targets)
        if (target.reason == kGone) gone.insert(target.entry);
    if (gone.empty()) return;
    std::vector<DuplicateGroup>& groups = scanner.Groups();
    for (int index = 0; index < static_cast<int>(groups.size()); ++index) {
        if (std::any_of(ticks.begin(), ticks.end(), [&](const GroupTicks& t) { return t.groupIndex == index; })) continue;
        DuplicateGroup& group = groups[index];
        GroupOutcome outcome{index, {}};
        for (int row = static_cast<int>(group.size()) - 1; row >= 0; --row)
            if (gone.count(group[row])) outcome.goneRows.push_back(row);
        if (outcome.goneRows.empty()) continue;
        const CompareFileEntry* base = group.front();
        group.erase(std::remove_if(group.begin(), group.end(), [&](const CompareFileEntry* e) { return gone.count(e) != 0; }),
                    group.end());
        if (!group.empty() && group.front() != base && !group.isSimilar) CountFromNewBase(group);
        outcomes.push_back(outcome);
    }
}

std::vector<FileDelete_CL::GroupOutcome> FileDelete_CL::TakeOutGone(const std::vector<GroupTicks>& ticks)
{
    std::vector<GroupOutcome> outcomes;
    CriticalSection_CL::Guard guard(scanner.GroupsLock());
    std::vector<DuplicateGroup>& groups = scanner.Groups();
    for (const GroupTicks& group : ticks) {
        GroupOutcome outcome;
        outcome.groupIndex = group.groupIndex;
        for (const Target& target : targets) {
            if (target.groupIndex != group.groupIndex || target.reason != kGone) continue;
            outcome.goneRows.push_back(target.row);
            if (group.groupIndex >= 0 && group.groupIndex < static_cast<int>(groups.size())) {
                DuplicateGroup& stored = groups[group.groupIndex];
                const CompareFileEntry* base = stored.empty() ? nullptr : stored.front();
                stored.erase(std::remove(stored.begin(), stored.end(), target.entry), stored.end());
                if (!stored.empty() && stored.front() != base) CountFromNewBase(stored);
            }
        }
        std::sort(outcome.goneRows.rbegin(), outcome.goneRows.rend());
        outcomes.push_back(outcome);
    }
    TakeOutOfOtherGroups(ticks, outcomes);
    return outcomes;
}

std::vector<FileDelete_CL::GroupOutcome> FileDelete_CL::Run(const std::vector<GroupTicks>& ticks, bool forGood)
{
    targets.clear();
    wasCanceled = false;
    for (const GroupTicks& group : ticks) {
        DuplicateGroup members;
        {
            CriticalSection_CL::Guard guard(scanner.GroupsLock());
            const std::vector<DuplicateGroup>& groups = scanner.Groups();
            if (group.groupIndex < 0 || group.groupIndex >= static_cast<int>(groups.size())) continue;
            members = groups[group.groupIndex];
        }
        LookAtGroup(group, members);
    }
    if (heldOpen)
        for (Target& target : targets)
            if (target.reason == kNone && target.kept && heldOpen(target.kept->path)) target.reason = kCannotCheck;
    if (!CompareWhereNeeded()) {
        wasCanceled = !isStopped;
        for (Target& target : targets)
            if (target.reason != kGone) target.reason = kDeclined;
    } else {
        for (Target& target : targets)
            if (target.sameFileAs < 0 && target.reason == kNone) target.reason = StrictestLook(target);
        Delete(forGood);
    }
    return TakeOutGone(ticks);
}

void FileDelete_CL::Stop()
{
    isStopped = true;
    if (comparison) comparison->Cancel();
}

void FileDelete_CL::ShowResult(const std::wstring& lead) const
{
    if (isStopped) {
        TheLog().Write(L"削除の途中でウィンドウが閉じられました");
        return;
    }
    if (wasCanceled) {
        ::MessageBoxW(owner, L"削除前の比較をキャンセルしたため、ファイルは削除していません。", kResultTitle, MB_OK);
        return;
    }
    std::wstring text;
    bool anyNotDeleted = false;
    for (int reason = kDiffers; reason < kReasonCount; ++reason) {
        std::wstring names;
        for (const Target& target : targets) {
            if (target.reason != static_cast<Reason>(reason)) continue;
            // A file ticked in two groups is named once.
            if (target.sameFileAs >= 0 && targets[target.sameFileAs].entry == target.entry) continue;
            anyNotDeleted |= reason == kNotDeleted;
            names += L"\r\n" + GetFileNamePart(target.entry->path);
        }
        if (names.empty() || reason == kNotDeleted) continue;
        if (!text.empty()) text += L"\r\n\r\n";
        text += ReasonText(static_cast<Reason>(reason)) + names;
    }
    // Files the shell or the platform would not delete (in use, no access) come last.
    if (anyNotDeleted) text += (text.empty() ? L"" : L"\r\n\r\n") + std::wstring(kNotDeletedText);
    const UINT icon = text.empty() ? MB_ICONINFORMATION : MB_ICONWARNING;
    if (!lead.empty()) text = lead + (text.empty() ? L"" : L"\r\n\r\n") + text;
    if (!text.empty()) ::MessageBoxW(owner, text.c_str(), kResultTitle, MB_OK | icon);
    ::MessageBeep(MB_ICONASTERISK);
}
