#include "decode/SimilarMovieSearch_CL.h"

#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <unordered_map>

#include "core/GdiPlus.h"
#include "core/Log_CL.h"
#include "core/UniqueHandle.h"
#include "decode/DShowMovieFingerprint_CL.h"
#include "engine/ExactFile_CL.h"
#include "engine/SimilarMatcher_CL.h"

// What a movie looked at brings, one movie at a time whatever thread took it: its
// fingerprint to its copies, the grouping, the callbacks.
class SimilarMovieSearch_CL::Reporter {
public:
    Reporter(SimilarMovieSearch_CL& search, const std::vector<CompareFileEntry*>& movies,
             const std::vector<DuplicateGroup>& exactGroups, int threshold, const volatile LONG* cancel)
        : search(search), grouping(movies, exactGroups, threshold), copiesOf(movies.size()), isCopy(movies.size(), 0),
          cancel(cancel)
    {
        std::unordered_map<const CompareFileEntry*, size_t> indexOf;
        for (size_t i = 0; i < movies.size(); ++i) indexOf.emplace(movies[i], i);
        for (const DuplicateGroup& group : exactGroups) {
            const auto first = group.empty() ? indexOf.end() : indexOf.find(group.front());
            if (first == indexOf.end()) continue;
            for (size_t i = 1; i < group.size(); ++i) {
                const auto copy = indexOf.find(group[i]);
                if (copy == indexOf.end() || copy->second == first->second) continue;
                if (isCopy[copy->second]) continue;
                copiesOf[first->second].push_back(copy->second);
                isCopy[copy->second] = 1;
                // Never looked at: the grouping passes over it at once.
                grouping.Take(copy->second, nullptr);
            }
        }
        total = static_cast<int>(std::count(isCopy.begin(), isCopy.end(), 0));
    }

    bool IsCopy(size_t index) const { return isCopy[index] != 0; }
    int Total() const { return total; }

    // movies[index] was looked at: its fingerprint is in the search's prints, unless it is
    // `isLeftOut` (gone or changed since the search saw it).
    void Taken(size_t index, bool isLeftOut)
    {
        std::lock_guard<std::mutex> guard(lock);
        std::vector<MovieFingerprint>& prints = search.prints;
        const bool isKnown = !isLeftOut && prints[index].isDecodable;
        for (size_t copy : copiesOf[index]) prints[copy] = prints[index];
        if (isKnown && search.onPrint) {
            search.onPrint(index, prints[index]);
            for (size_t copy : copiesOf[index]) search.onPrint(copy, prints[copy]);
        }
        if (!(cancel && *cancel == 1)) grouping.Take(index, isKnown ? &prints[index] : nullptr, search.onGroup);
        ++done;
        if (search.onProgress) search.onProgress(done, total);
    }

    std::vector<SimilarGroup> Groups() const { return grouping.Groups(); }

private:
    SimilarMovieSearch_CL& search;
    SimilarMatcher_CL::Grouping grouping;
    std::vector<std::vector<size_t>> copiesOf;
    std::vector<char> isCopy;
    const volatile LONG* cancel;
    std::mutex lock;
    int done = 0, total = 0;
};

SimilarMovieSearch_CL::Outcome SimilarMovieSearch_CL::Run(const std::vector<CompareFileEntry*>& movies,
                                                          const std::vector<DuplicateGroup>& exactGroups, int threshold,
                                                          FingerprintCache_CL* cache, const volatile LONG* cancel)
{
    Outcome outcome;
    outcome.movies = static_cast<int>(movies.size());
    prints.assign(movies.size(), MovieFingerprint());
    Reporter reporter(*this, movies, exactGroups, threshold, cancel);
    outcome.lookedAt = reporter.Total();
    if (onProgress) onProgress(0, reporter.Total());
    std::vector<size_t> missing;
    for (size_t i = 0; i < movies.size(); ++i) {
        if (reporter.IsCopy(i)) continue;
        if (cache && cache->Find(*movies[i], prints[i]))
            reporter.Taken(i, false);
        else
            missing.push_back(i);
    }
    const std::vector<char> complete = Fingerprint(movies, missing, cancel, reporter);
    if (cache)
        for (size_t at = 0; at < missing.size(); ++at)
            if (complete[at] == 1) cache->Store(*movies[missing[at]], prints[missing[at]]);
    outcome.decoded = static_cast<int>(std::count(complete.begin(), complete.end(), 1));
    outcome.goneOrChanged = static_cast<int>(std::count(complete.begin(), complete.end(), kLeftOut));
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
    std::vector<char> complete(missing.size(), 0);
    auto work = [&] {
        const HRESULT com = ::CoInitialize(nullptr);
        {
            DShowMovieFingerprint_CL taker(cancelEvent.Get());
            for (size_t at = next++; at < missing.size(); at = next++) {
                if (cancel && *cancel == 1) break;
                const size_t index = missing[at];
                prints[index] = taker.Take(movies[index]->path);
                if (cancel && *cancel == 1) break;  // cut short: neither known nor undecodable
                // A movie deleted, moved or written meanwhile is not the one the search saw:
                // what it gave (most often nothing) says nothing of that movie.
                const ExactFile_CL::Standing standing =
                    ExactFile_CL::Against(*movies[index], ExactFile_CL::Look(movies[index]->path));
                const bool isLeftOut = standing == ExactFile_CL::kMissing || standing == ExactFile_CL::kChanged ||
                                       standing == ExactFile_CL::kReplaced;
                if (isLeftOut) prints[index] = MovieFingerprint();
                complete[at] = isLeftOut ? kLeftOut : 1;
                reporter.Taken(index, isLeftOut);
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
    return complete;
}
