// The threads a kd-tree build shares out among its big subtrees.
#pragma once

#include <atomic>
#include <cstdint>
#include <future>
#include <system_error>

namespace kdbuild {

// The threads one build may still start: a subtree of at least minObjects objects goes to a
// thread of its own while one is spare. A thread that waits for another gives its own back
// meanwhile, so that the build keeps every processor busy to its end.
struct BuildThreads {
    std::atomic<int> spare;
    uint32_t minObjects;

    BuildThreads(int threads, uint32_t minObjects) : spare(threads - 1), minObjects(minObjects) {}
    bool take() {
        int s = spare.load();
        while (s > 0)
            if (spare.compare_exchange_weak(s, s - 1)) return true;
        return false;
    }
    void give() { spare.fetch_add(1); }
    void takeBack() { spare.fetch_sub(1); }
};

// Runs apart on a thread of its own (taken from threads already) while here runs on this one, and
// returns when both are done; exceptions of either reach the caller. Where no thread can be
// started, apart runs here too.
template <class Apart, class Here>
void runTogether(BuildThreads& threads, Apart apart, Here here) {
    std::future<void> done;
    try {
        done = std::async(std::launch::async, [&threads, &apart] {
            struct GiveBack {
                BuildThreads& threads;
                ~GiveBack() { threads.give(); }
            } giveBack{threads};
            apart();
        });
    } catch (const std::system_error&) {
        threads.give();
        apart();
    }
    here();
    if (!done.valid()) return;
    threads.give();
    done.get();
    threads.takeBack();
}

}  // namespace kdbuild
