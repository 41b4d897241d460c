#include "base/disposal.h"

#include <exception>

Disposal::~Disposal() {
    {
        const std::lock_guard<std::mutex> guard(lock);
        leaving = true;
    }
    wake.notify_all();
    if (worker.joinable()) worker.join();
}

void Disposal::later(std::function<void()> job) {
    std::unique_lock<std::mutex> guard(lock);
    try {
        if (!worker.joinable()) worker = std::thread([this] { work(); });
        jobs.push_back(job);
    } catch (const std::exception&) {
        // No thread or no queue entry to be had: memory is nearly gone, and freeing is what helps
        // most. It happens here, on the caller's thread, as it would without a disposal.
        guard.unlock();
        job();
        return;
    }
    guard.unlock();
    wake.notify_all();
}

void Disposal::waitIdle() {
    std::unique_lock<std::mutex> guard(lock);
    wake.wait(guard, [this] { return jobs.empty() && !busy; });
}

void Disposal::work() {
    std::unique_lock<std::mutex> guard(lock);
    for (;;) {
        wake.wait(guard, [this] { return !jobs.empty() || leaving; });
        if (jobs.empty()) return;  // leaving, and nothing left to free
        std::function<void()> job = std::move(jobs.front());
        jobs.pop_front();
        busy = true;
        guard.unlock();
        job();
        job = nullptr;
        guard.lock();
        busy = false;
        if (jobs.empty()) wake.notify_all();  // an owner may wait for the queue to empty
    }
}
