// The unit of work the thread pool runs: a collection hands out its pieces (bands of rows for the
// frame engine) one runTask() call at a time until it reports that nothing is left.
#pragma once

#include <QMutex>
#include <QObject>
#include <atomic>

class TaskCollection : public QObject {
    Q_OBJECT

public:
    explicit TaskCollection(QObject* parent = nullptr);

    // Processes one unit of work; returns true when no work is left. Any worker thread, and
    // several workers at once: an implementation hands out its units under a lock of its own.
    virtual bool runTask() = 0;
    // Called by the pool exactly once per run, on the first worker that finds the collection
    // drained (other workers may still be finishing its last units). Does nothing here.
    virtual void tasksFinished();
    // Asks the collection to hand out no further units. Does nothing here.
    virtual void stopDispensing();
    // Share of the current run's units handed out, 0..100; any thread. 0 here.
    virtual int percentDone();

    // Asks the current run of this collection to end early: no further units are handed out
    // (stopDispensing), and a unit being worked on may return as soon as it sees cancelled().
    // Cleared by the pool when the next run starts. Any thread; takes no lock of the pool.
    void cancel();
    // Checked by long units between their pieces (a row, a packet); one relaxed load.
    bool cancelled() const { return cancelRequested.load(std::memory_order_relaxed); }
    // Whether the run that ended last was cut short by cancel(): its output is incomplete.
    bool wasCancelled() const { return cancelRequested.load(std::memory_order_acquire); }

    // Guards finishedCalled; not recursive.
    QMutex mutex;
    // Set by the pool once it has called tasksFinished() in the current run, cleared when a run
    // starts.
    bool finishedCalled = false;

private:
    friend class ThreadBase;
    std::atomic<bool> cancelRequested{false};
};
