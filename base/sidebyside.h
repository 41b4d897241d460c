// Work split into a few independent parts, each on a thread of its own while the calling thread
// does the first: the scene's text written in runs, and packed in pieces.
#pragma once

#include <system_error>
#include <thread>
#include <vector>

// Runs work(0) ... work(count - 1) side by side and returns when all are done. A part for which
// no thread can be started runs on the calling thread. work must not throw.
template <class Work>
void runSideBySide(int count, const Work& work) {
    std::vector<std::thread> helpers;
    for (int k = 1; k < count; ++k) {
        try {
            helpers.emplace_back(work, k);
        } catch (const std::system_error&) {
            work(k);  // no thread to be had
        }
    }
    if (count > 0) work(0);
    for (std::thread& helper : helpers) helper.join();
}
