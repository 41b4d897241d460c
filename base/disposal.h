// Frees what a thread is done with on a thread of its own. Dropping a scene of a million named
// objects gives back every name and every object one by one, a third of a second; the window
// hands the old scene here and goes on drawing the new one at once.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class Disposal {
public:
    Disposal() = default;
    Disposal(const Disposal&) = delete;
    Disposal& operator=(const Disposal&) = delete;
    // Frees everything handed over before it returns: nothing outlives its owner.
    ~Disposal();

    // Deletes p later, on the disposal thread, in the order things were handed over; at once
    // where no thread can be started (memory nearly gone). What p holds must need no other
    // thread's help to be freed (no widget, no lock the caller keeps).
    template <class T>
    void dispose(std::unique_ptr<T> p) {
        if (p) later([q = p.release()] { delete q; });
    }
    template <class T>
    void dispose(T* p) {
        dispose(std::unique_ptr<T>(p));
    }
    // Returns once everything handed over so far is freed.
    void waitIdle();

private:
    void later(std::function<void()> job);
    void work();

    std::mutex lock;
    std::condition_variable wake;  // a job came, or the owner waits or leaves
    std::deque<std::function<void()>> jobs;
    bool busy = false;  // the worker runs a job it took off the queue
    bool leaving = false;
    std::thread worker;  // started with the first job
};
