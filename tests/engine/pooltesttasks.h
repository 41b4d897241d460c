// Test doubles for the thread pool: a collection of numbered units with counters, and a counter
// of the pool's end-of-run signal taken directly on the emitting worker.
#pragma once

#include <QObject>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "engine/taskcollection.h"
#include "engine/threadbase.h"

// Hands out `units` numbered units through an atomic counter; onUnit (if any) runs for each.
class CountingTasks : public TaskCollection {
public:
    explicit CountingTasks(int units, std::function<void(int)> onUnit = {},
                           std::atomic<int>* destroyed = nullptr)
        : units(units), onUnit(std::move(onUnit)), destroyed(destroyed) {}
    ~CountingTasks() override {
        if (destroyed) ++*destroyed;
    }

    // Makes every unit available again; only while the pool is idle.
    void rewind() { next = 0; }

    bool runTask() override {
        const int unit = next.fetch_add(1);
        if (unit >= units) return true;
        ++inFlight;
        if (onUnit) onUnit(unit);
        --inFlight;
        ++processed;
        return false;
    }

    void tasksFinished() override {
        ++finishedCalls;
        if (next.load() < units) ++finishedEarly;
        if (onFinished) onFinished();
    }

    const int units;
    std::function<void(int)> onUnit;
    std::function<void()> onFinished;
    std::atomic<int>* destroyed;
    std::atomic<int> next{0};
    std::atomic<int> inFlight{0};
    std::atomic<int> processed{0};
    std::atomic<int> finishedCalls{0};
    std::atomic<int> finishedEarly{0};  // tasksFinished() while units were still undispensed
};

// Counts signalAllWaiting() on the emitting thread; waitFor() blocks until n arrived in all.
// Standard-library locks, so that ThreadSanitizer sees the hand-over.
class SignalCounter {
public:
    explicit SignalCounter(ThreadBase& pool) {
        connection = QObject::connect(
            &pool, &ThreadBase::signalAllWaiting, &pool,
            [this] {
                std::lock_guard<std::mutex> lock(mutex);
                ++count;
                arrived.notify_all();
            },
            Qt::DirectConnection);
    }
    ~SignalCounter() { QObject::disconnect(connection); }

    bool waitFor(int n, int timeoutMs = 10000) {
        std::unique_lock<std::mutex> lock(mutex);
        return arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [&] { return count >= n; });
    }

    std::atomic<int> count{0};

private:
    QMetaObject::Connection connection;
    std::mutex mutex;
    std::condition_variable arrived;
};
