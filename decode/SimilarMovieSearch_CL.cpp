#include "decode/SimilarMovieSearch_CL.h"

#include <objbase.h>

#include <algorithm>
#include <mutex>
#include <thread>

#include "core/GdiPlus.h"
#include "core/Log_CL.h"
#include "core/UniqueHandle.h"
#include "decode/DShowMovieFingerprint_CL.h"
#include "engine/SimilarMatcher_CL.h"

SimilarMovieSearch_CL::Outcome SimilarMovieSearch_CL::Run(const std::vector<CompareFileEntry*>& movies,
                                                          const std::vector<DuplicateGroup>& exactGroups, int threshold,
                                                          FingerprintCache_CL* cache, const volatile LONG* cancel)
{
    Outcome outcome;
    outcome.movies = static_cast<int>(movies.size());
    prints.assign(movies.size(), MovieFingerprint());
    std::vector<size_t> missing;
    for (size_t i = 0; i < movies.size(); ++i)
        if (!cache || !cache->Find(*movies[i], prints[i])) missing.push_back(i);
    if (onProgress) onProgress(outcome.movies - static_cast<int>(missing.size()), outcome.movies);
    const std::vector<char> complete = Fingerprint(movies, missing, cancel, outcome);
    if (cache)
        for (size_t at = 0; at < missing.size(); ++at)
            if (complete[at]) cache->Store(*movies[missing[at]], prints[missing[at]]);
    outcome.canceled = cancel && *cancel == 1;
    if (outcome.canceled) return outcome;
    for (const MovieFingerprint& print : prints) outcome.undecodable += !print.isDecodable;

    std::vector<SimilarMatcher_CL::Candidate> candidates;
    for (size_t i = 0; i < movies.size(); ++i) candidates.push_back({movies[i], &prints[i]});
    outcome.groups = SimilarMatcher_CL::FindGroups(candidates, exactGroups, threshold, cancel, onGroup);
    TheLog().Write(L"類似チェック: 動画 %d, デコード %d, デコード不可 %d, 類似グループ %d", outcome.movies, outcome.decoded,
                   outcome.undecodable, static_cast<int>(outcome.groups.size()));
    return outcome;
}

std::vector<char> SimilarMovieSearch_CL::Fingerprint(const std::vector<CompareFileEntry*>& movies, const std::vector<size_t>& missing,
                                        const volatile LONG* cancel, Outcome& outcome)
{
    // The decoders wait on this event; a watcher sets it when the cancel word goes to 1.
    KernelHandle cancelEvent(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::atomic<size_t> next{0};
    std::atomic<int> done{outcome.movies - static_cast<int>(missing.size())};
    std::atomic<bool> finished{false};
    std::mutex progressLock;
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
                complete[at] = 1;
                const int count = ++done;
                std::lock_guard<std::mutex> guard(progressLock);
                if (onProgress) onProgress(count, outcome.movies);
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
    outcome.decoded = static_cast<int>(std::count(complete.begin(), complete.end(), 1));
    return complete;
}
