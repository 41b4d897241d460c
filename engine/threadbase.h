// The worker-thread pool that renders: every run wakes all workers, which drain the registered
// task collections in order; when the last worker falls idle the pool emits signalAllWaiting().
#pragma once

#include <QMutex>
#include <QObject>
#include <QSemaphore>
#include <QWaitCondition>
#include <atomic>
#include <string>
#include <utility>
#include <vector>

class TaskCollection;
class WorkerThread;

class ThreadBase : public QObject {
    Q_OBJECT

public:
    // threads <= 0 means one worker per hardware thread (workerCountFor(idealThreadCount())).
    // Writes the worker count as a trace line and starts the workers, with the priority of the
    // calling thread; returns once all of them are idle. Workers the system refuses to start are
    // left out (threadCount() tells how many run); throws std::bad_alloc when none starts.
    explicit ThreadBase(int threads = 0, QObject* parent = nullptr);
    // Stops the workers, then applies the pending removals (deleting where asked). Collections
    // still registered are not deleted.
    ~ThreadBase() override;

    // Worker count for a reported number of hardware threads: one when it is unknown (-1).
    static int workerCountFor(int ideal);

    // Registers a collection from the next startRendering() on. Any thread.
    void addTasks(TaskCollection* tasks);
    // Unregisters (and with deleteIt deletes) a collection at the start of the next run or in the
    // destructor; a collection being run finishes its current run. Any thread.
    void removeTasks(TaskCollection* tasks, bool deleteIt);
    // Registered collections counting the pending additions and removals.
    int taskCount() const;
    // True while at least one worker has not gone idle.
    bool isRunning() const;
    int threadCount() const { return numThreads; }

    // Starts a run: applies pending additions and removals, then wakes every worker. Blocks until
    // the previous run has ended; with wait, also until this run has ended. Raises a programming
    // error when a pending removal names an unregistered collection. GUI thread (the controller).
    virtual void startRendering(bool wait);
    // Makes the workers take no further units; the pool is not meant to be run again. With wait,
    // returns once every worker has finished its current unit and gone idle. Controller thread.
    void abort(bool wait);
    // Cuts the current run short: every registered collection is cancelled (hands out no
    // further units, and long units return early), so the run ends within about one unit's
    // piece. Unlike abort(), the next run works normally. Returns at once. Controller thread.
    void cancelRun();
    // Share of the current run handed out, 0..100: the mean of the collections' percentDone().
    // Controller thread.
    int runPercentDone() const;
    // Ends all workers (waits without time-out); the pool has no workers afterwards.
    virtual void stopThreads();
    // One worker's share of a run: drains every registered collection in order. Worker threads.
    virtual bool doWork();

signals:
    // Emitted once per run on the worker that went idle last; receivers connect queued.
    void signalAllWaiting();

private:
    friend class WorkerThread;

    void workerLoop(int index);
    void signalIfAllIdle(int index);
    void applyPendingRemovals();
    void joinWorkers();
    // Trace line on standard output; thread -1 is the pool itself, otherwise "Thread i " leads.
    void trace(int thread, const char* message);

    std::vector<WorkerThread*> threads;  // owned
    QSemaphore idle;                     // one token per idle worker
    QSemaphore work;                     // one token per worker a run wakes
    QWaitCondition allIdle;              // woken (under idleMutex) when a run has ended
    int numThreads = 0;
    std::atomic<bool> stop{false};
    std::atomic<bool> aborted{false};  // never cleared: an aborted pool is not reused
    QMutex idleMutex;                  // guards allIdleSignalled and the emission of the signal
    bool allIdleSignalled = true;      // true at construction: the first idle state is silent
    QMutex logMutex;
    // Read by the workers without a lock; changed only while every worker is idle.
    std::vector<TaskCollection*> active;
    std::vector<TaskCollection*> pendingAdd;
    // (delete it, collection)
    std::vector<std::pair<bool, TaskCollection*>> pendingRemove;
    mutable QMutex addMutex;     // guards pendingAdd
    mutable QMutex removeMutex;  // guards pendingRemove
};
