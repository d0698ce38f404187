#include "ui/main/BackgroundSimilarSearch_CL.h"

#include <algorithm>

#include "core/Log_CL.h"
#include "decode/SimilarMovieSearch_CL.h"
#include "engine/FingerprintCache_CL.h"

BackgroundSimilarSearch_CL::~BackgroundSimilarSearch_CL()
{
    Cancel();
    Wait();
}

void BackgroundSimilarSearch_CL::Start(HWND target, UINT notice, std::vector<CompareFileEntry*> movies,
                                       std::vector<DuplicateGroup> exactGroups, int threshold, const std::wstring& cachePath)
{
    Cancel();
    Wait();
    window = target;
    message = notice;
    cancelWord = 0;
    news = News();
    news.total = static_cast<int>(movies.size());
    isNewsPosted = false;
    worker = std::thread(&BackgroundSimilarSearch_CL::Run, this, std::move(movies), std::move(exactGroups), threshold,
                         cachePath);
}

void BackgroundSimilarSearch_CL::Wait()
{
    if (worker.joinable()) worker.join();
}

BackgroundSimilarSearch_CL::News BackgroundSimilarSearch_CL::TakeNews()
{
    std::lock_guard<std::mutex> guard(newsLock);
    News taken = std::move(news);
    news = News();
    news.done = taken.done;
    news.total = taken.total;
    news.isFinished = taken.isFinished;
    isNewsPosted = false;
    return taken;
}

void BackgroundSimilarSearch_CL::PostNews()
{
    if (isNewsPosted) return;
    isNewsPosted = ::PostMessageW(window, message, 0, 0) != FALSE;
    if (!isNewsPosted) TheLog().Write(L"類似チェック: 通知できません (%lu)", ::GetLastError());
}

void BackgroundSimilarSearch_CL::Run(std::vector<CompareFileEntry*> movies, std::vector<DuplicateGroup> exactGroups,
                                     int threshold, std::wstring cachePath)
{
    TheLog().Write(L"類似チェック(start)");
    FingerprintCache_CL cache;
    if (!cachePath.empty()) cache.Load(cachePath);
    SimilarMovieSearch_CL search;
    search.onProgress = [&](int done, int total) {
        std::lock_guard<std::mutex> guard(newsLock);
        news.done = done;
        news.total = total;
        PostNews();
    };
    search.onPrint = [&](size_t index, const MovieFingerprint& print) {
        std::lock_guard<std::mutex> guard(newsLock);
        news.prints.emplace_back(movies[index], print);
    };
    search.onGroup = [&](const SimilarGroup& group) {
        std::lock_guard<std::mutex> guard(newsLock);
        // A group that grew again before the window took the news is told once, as it is now.
        const auto told = std::find_if(news.groups.begin(), news.groups.end(),
                                       [&](const SimilarGroup& earlier) { return earlier.files.front() == group.files.front(); });
        if (told != news.groups.end())
            *told = group;
        else
            news.groups.push_back(group);
        PostNews();
    };
    const SimilarMovieSearch_CL::Outcome outcome =
        search.Run(movies, exactGroups, threshold, cachePath.empty() ? nullptr : &cache, &cancelWord);
    if (!cachePath.empty() && !cache.Save(cachePath)) TheLog().Write(L"類似チェック: キャッシュを保存できません : %s", cachePath.c_str());
    std::lock_guard<std::mutex> guard(newsLock);
    news.isFinished = true;
    news.isCanceled = outcome.canceled;
    news.undecodable = outcome.undecodable;
    PostNews();
    TheLog().Write(L"類似チェック(end)");
}
