#include "decode/SimilarMovieSearch_CL.h"

#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <thread>
#include <unordered_map>

#include "core/GdiPlus.h"
#include "core/Log_CL.h"
#include "core/UniqueHandle.h"
#include "decode/DShowMovieFingerprint_CL.h"
#include "engine/ExactFile_CL.h"
#include "engine/SimilarMatcher_CL.h"

namespace {
constexpr size_t kNone = SIZE_MAX;

// A movie deleted, moved or written since the search saw it is not the one the search saw:
// what it gave (most often nothing) says nothing of that movie.
bool IsGoneOrChanged(const CompareFileEntry& movie)
{
    const ExactFile_CL::Standing standing = ExactFile_CL::Against(movie, ExactFile_CL::Look(movie.path));
    return standing == ExactFile_CL::kMissing || standing == ExactFile_CL::kChanged || standing == ExactFile_CL::kReplaced;
}
}  // namespace

// What a movie looked at brings, one movie at a time whatever thread took it: its
// fingerprint to its copies (or, left out, the next copy as their stand-in), the grouping,
// the callbacks.
class SimilarMovieSearch_CL::Reporter {
public:
    Reporter(SimilarMovieSearch_CL& search, const std::vector<CompareFileEntry*>& movies,
             const std::vector<DuplicateGroup>& exactGroups, int threshold, FingerprintCache_CL* cache,
             const volatile LONG* cancel)
        : search(search), movies(movies), grouping(movies, exactGroups, threshold), copiesOf(movies.size()),
          isCopy(movies.size(), 0), cache(cache), cancel(cancel)
    {
        std::unordered_map<const CompareFileEntry*, size_t> indexOf;
        for (size_t i = 0; i < movies.size(); ++i) indexOf.emplace(movies[i], i);
        for (const DuplicateGroup& group : exactGroups) {
            // The group's movies in list order, as the grouping meets them: the first stands
            // for the others (the group's first file, unless that one is no movie).
            std::vector<size_t> members;
            for (const CompareFileEntry* file : group) {
                const auto member = indexOf.find(file);
                if (member != indexOf.end() && !isCopy[member->second]) members.push_back(member->second);
            }
            std::sort(members.begin(), members.end());
            members.erase(std::unique(members.begin(), members.end()), members.end());
            if (members.size() < 2) continue;
            copiesOf[members[0]].assign(members.begin() + 1, members.end());
            for (size_t copy : copiesOf[members[0]]) isCopy[copy] = 1;
        }
        total = static_cast<int>(std::count(isCopy.begin(), isCopy.end(), 0));
    }

    // Not while the workers run.
    bool IsCopy(size_t index) const { return isCopy[index] != 0; }
    int Total() const { return total; }
    int LeftOut() const { return leftOut; }

    // Takes movies[index] from the cache, and after it each copy that stands in for one found
    // gone. Returns the movie still to decode, or kNone.
    size_t FromCache(size_t index)
    {
        while (index != kNone && cache) {
            bool isFound = false, hasCopies = false;
            {
                std::lock_guard<std::mutex> guard(lock);
                isFound = cache->Find(*movies[index], search.prints[index]);
                hasCopies = !copiesOf[index].empty();
            }
            if (!isFound) return index;
            // Its copies are listed through it: the file listed must still be there to act on.
            index = Taken(index, hasCopies && IsGoneOrChanged(*movies[index]));
        }
        return index;
    }

    // movies[index] was looked at: its fingerprint is in the search's prints, unless it is
    // `isLeftOut` (gone or changed since the search saw it). Returns the copy that stands in
    // for its copies instead, to be looked at now, or kNone.
    size_t Taken(size_t index, bool isLeftOut)
    {
        std::lock_guard<std::mutex> guard(lock);
        std::vector<MovieFingerprint>& prints = search.prints;
        const bool isCanceled = cancel && *cancel == 1;
        size_t standIn = kNone;
        if (isLeftOut) {
            prints[index] = MovieFingerprint();
            ++leftOut;
            if (!copiesOf[index].empty() && !isCanceled) {
                standIn = copiesOf[index].front();
                copiesOf[standIn].assign(copiesOf[index].begin() + 1, copiesOf[index].end());
                copiesOf[index].clear();
                isCopy[standIn] = 0;
                ++total;
            }
        }
        const bool isKnown = !isLeftOut && prints[index].isDecodable;
        for (size_t copy : copiesOf[index]) prints[copy] = prints[index];
        if (isKnown && search.onPrint) {
            search.onPrint(index, prints[index]);
            for (size_t copy : copiesOf[index]) search.onPrint(copy, prints[copy]);
        }
        if (!isCanceled) {
            grouping.Take(index, isKnown ? &prints[index] : nullptr, search.onGroup);
            for (size_t copy : copiesOf[index]) grouping.Take(copy, &prints[copy], search.onGroup);
        }
        ++done;
        if (search.onProgress) search.onProgress(done, total);
        return standIn;
    }

    std::vector<SimilarGroup> Groups() const { return grouping.Groups(); }

private:
    SimilarMovieSearch_CL& search;
    const std::vector<CompareFileEntry*>& movies;
    SimilarMatcher_CL::Grouping grouping;
    std::vector<std::vector<size_t>> copiesOf;  // of a stand-in, its copies in list order
    std::vector<char> isCopy;
    FingerprintCache_CL* cache;
    const volatile LONG* cancel;
    std::mutex lock;
    int done = 0, total = 0, leftOut = 0;
};

SimilarMovieSearch_CL::Outcome SimilarMovieSearch_CL::Run(const std::vector<CompareFileEntry*>& movies,
                                                          const std::vector<DuplicateGroup>& exactGroups, int threshold,
                                                          FingerprintCache_CL* cache, const volatile LONG* cancel)
{
    Outcome outcome;
    outcome.movies = static_cast<int>(movies.size());
    prints.assign(movies.size(), MovieFingerprint());
    Reporter reporter(*this, movies, exactGroups, threshold, cache, cancel);
    if (onProgress) onProgress(0, reporter.Total());
    std::vector<size_t> toLookAt;
    for (size_t i = 0; i < movies.size(); ++i)
        if (!reporter.IsCopy(i)) toLookAt.push_back(i);
    std::vector<size_t> missing;
    for (size_t index : toLookAt) {
        const size_t toDecode = reporter.FromCache(index);
        if (toDecode != kNone) missing.push_back(toDecode);
    }
    const std::vector<char> decoded = Fingerprint(movies, missing, cancel, reporter);
    if (cache)
        for (size_t i = 0; i < movies.size(); ++i)
            if (decoded[i]) cache->Store(*movies[i], prints[i]);
    outcome.lookedAt = reporter.Total();
    outcome.decoded = static_cast<int>(std::count(decoded.begin(), decoded.end(), 1));
    outcome.goneOrChanged = reporter.LeftOut();
    outcome.groups = reporter.Groups();
    outcome.canceled = cancel && *cancel == 1;
    if (outcome.canceled) return outcome;
    // Those left out hold no fingerprint either, but were not found undecodable.
    for (size_t i = 0; i < movies.size(); ++i) outcome.undecodable += !reporter.IsCopy(i) && !prints[i].isDecodable;
    outcome.undecodable -= outcome.goneOrChanged;
    TheLog().Write(L"類似チェック: 動画 %d, デコード %d, デコード不可 %d, 消えたか変わった動画 %d, 類似グループ %d", outcome.movies,
                   outcome.decoded, outcome.undecodable, outcome.goneOrChanged, static_cast<int>(outcome.groups.size()));
    return outcome;
}

std::vector<char> SimilarMovieSearch_CL::Fingerprint(const std::vector<CompareFileEntry*>& movies,
                                                     const std::vector<size_t>& missing, const volatile LONG* cancel,
                                                     Reporter& reporter)
{
    // The decoders wait on this event; a watcher sets it when the cancel word goes to 1.
    KernelHandle cancelEvent(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::atomic<size_t> next{0};
    std::atomic<bool> finished{false};
    std::vector<char> decoded(movies.size(), 0);
    auto work = [&] {
        const HRESULT com = ::CoInitialize(nullptr);
        {
            DShowMovieFingerprint_CL taker(cancelEvent.Get());
            for (size_t at = next++; at < missing.size(); at = next++) {
                size_t index = missing[at];
                while (index != kNone && !(cancel && *cancel == 1)) {
                    prints[index] = taker.Take(movies[index]->path);
                    if (cancel && *cancel == 1) break;  // cut short: neither known nor undecodable
                    const bool isLeftOut = IsGoneOrChanged(*movies[index]);
                    decoded[index] = !isLeftOut;
                    // The copy that stands in for one left out is looked at by the same worker.
                    index = reporter.FromCache(reporter.Taken(index, isLeftOut));
                }
            }
        }
        if (SUCCEEDED(com)) ::CoUninitialize();
    };
    std::thread watcher([&] {
        while (!finished) {
            if (cancel && *cancel == 1) {
                ::SetEvent(cancelEvent.Get());
                return;
            }
            ::Sleep(20);
        }
    });
    std::vector<std::thread> workers;
    const size_t count = std::min<size_t>(kWorkers, missing.size());
    for (size_t i = 0; i < count; ++i) workers.emplace_back(work);
    for (std::thread& worker : workers) worker.join();
    finished = true;
    watcher.join();
    return decoded;
}
