#pragma once
#include <windows.h>

#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/DuplicateGroup.h"
#include "engine/MovieFingerprint.h"
#include "engine/SimilarGroup.h"

// The similar-movie part of a search, run after the exact search on a thread of its own
// (which decodes on workers of its own), so the window stays free: groups can be selected
// and previewed meanwhile.
//
// The window hears of news (progress, fingerprints, groups as they form and grow, the end)
// through one posted message,
// and takes the news from here. At most one such message waits in its queue at any time,
// so a library of many movies cannot fill it, and nothing is lost when a post fails: the
// news waits here for the next one.
class BackgroundSimilarSearch_CL {
public:
    struct News {
        int done = 0;   // movies fingerprinted (or taken from the cache) of `total`
        int total = 0;
        // The groups that formed or grew, each whole as it is now (one entry a group).
        std::vector<SimilarGroup> groups;
        // The fingerprints that came (for the movies' frame size and length).
        std::vector<std::pair<CompareFileEntry*, MovieFingerprint>> prints;
        bool isFinished = false;
        bool isCanceled = false;
        int undecodable = 0;
    };

    ~BackgroundSimilarSearch_CL();

    // Starts the search over `movies` (the scanner's entries, which must outlive it; they are
    // only read here) beside the exact groups found; `cachePath` empty: no fingerprint cache.
    void Start(HWND window, UINT message, std::vector<CompareFileEntry*> movies, std::vector<DuplicateGroup> exactGroups,
               int threshold, const std::wstring& cachePath);
    // Asks the search to stop; the end still comes as news.
    void Cancel() { ::InterlockedExchange(&cancelWord, 1); }
    // What happened since the last call. Once the news says finished, the thread has
    // nothing left to do but end: Wait() returns at once.
    News TakeNews();
    bool IsRunning() const { return worker.joinable(); }
    void Wait();

private:
    void Run(std::vector<CompareFileEntry*> movies, std::vector<DuplicateGroup> exactGroups, int threshold,
             std::wstring cachePath);
    // Tells the window, unless a message is already on its way.
    void PostNews();

    std::thread worker;
    HWND window = nullptr;
    UINT message = 0;
    volatile LONG cancelWord = 0;
    std::mutex newsLock;
    News news;
    bool isNewsPosted = false;
};
