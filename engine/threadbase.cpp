// Run protocol of the pool. Semaphores carry it: a run takes every idle token (so it starts only
// when all workers are idle) and hands out one work token per worker; the worker whose idle token
// completes the set signals the end of the run, once, under idleMutex.
#include "engine/threadbase.h"

#include <QtCore/qtsan_impl.h>

#include <QMutexLocker>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <new>

#include "engine/taskcollection.h"
#include "engine/workerthread.h"
#include "base/programmingerror.h"
#include "base/traceoutput.h"
#include "geometry/vec4f.h"

namespace {

// ThreadSanitizer sees only code compiled with it. Qt's semaphores, QThread::wait() and the mutex
// hand-over inside QWaitCondition::wait() live in the Qt library, so their happens-before edges
// are declared here; the QtTsan hooks compile to nothing in other builds.
void releaseTokens(QSemaphore& semaphore, int n) {
    QtTsan::futexRelease(&semaphore);
    semaphore.release(n);
}

void acquireTokens(QSemaphore& semaphore, int n) {
    semaphore.acquire(n);
    QtTsan::futexAcquire(&semaphore);
}

int availableTokens(const QSemaphore& semaphore) {
    const int available = semaphore.available();
    QtTsan::futexAcquire(const_cast<QSemaphore*>(&semaphore));
    return available;
}

void waitOn(QWaitCondition& condition, QMutex& mutex) {
    QtTsan::mutexPreUnlock(&mutex, 0u);
    QtTsan::mutexPostUnlock(&mutex, 0u);
    condition.wait(&mutex);
    QtTsan::mutexPreLock(&mutex, 0u);
    QtTsan::mutexPostLock(&mutex, 0u, 0);
}

}  // namespace

ThreadBase::ThreadBase(int workers, QObject* parent) : QObject(parent) {
    numThreads = workers > 0 ? workers : workerCountFor(QThread::idealThreadCount());
    trace(-1, std::to_string(numThreads).c_str());
    threads.reserve(numThreads);
    for (int i = 0; i < numThreads; ++i) threads.push_back(new WorkerThread(this, i));
    const QThread::Priority priority = QThread::currentThread()->priority();
    for (int i = 0; i < numThreads; ++i) {
        threads[std::size_t(i)]->start(priority);
        // The system may refuse a thread (no memory left for its stack). The pool then works
        // with the workers that started; waiting for the others would hang for ever.
        if (!threads[std::size_t(i)]->isRunning()) {
            for (std::size_t k = std::size_t(i); k < threads.size(); ++k) delete threads[k];
            threads.resize(std::size_t(i));
            numThreads = i;
            break;
        }
    }
    if (numThreads == 0) throw std::bad_alloc();
    // Return with every worker parked, so that isRunning() is false from the start. No signal
    // is lost by borrowing the tokens: allIdleSignalled keeps the first idle state silent.
    acquireTokens(idle, numThreads);
    releaseTokens(idle, numThreads);
}

ThreadBase::~ThreadBase() {
    joinWorkers();
    applyPendingRemovals();
}

int ThreadBase::workerCountFor(int ideal) { return ideal >= 1 ? ideal : 1; }

void ThreadBase::addTasks(TaskCollection* tasks) {
    QMutexLocker lock(&addMutex);
    pendingAdd.push_back(tasks);
}

void ThreadBase::removeTasks(TaskCollection* tasks, bool deleteIt) {
    QMutexLocker lock(&removeMutex);
    pendingRemove.emplace_back(deleteIt, tasks);
}

int ThreadBase::taskCount() const {
    int count = static_cast<int>(active.size());
    {
        QMutexLocker lock(&addMutex);
        count += static_cast<int>(pendingAdd.size());
    }
    QMutexLocker lock(&removeMutex);
    return count - static_cast<int>(pendingRemove.size());
}

bool ThreadBase::isRunning() const { return availableTokens(idle) != numThreads; }

void ThreadBase::startRendering(bool wait) {
    if (numThreads == 0) programmingError("startRendering on a stopped thread pool");
    // The workers read the collection lists without a lock, so the lists change only once every
    // idle token is ours.
    acquireTokens(idle, numThreads);
    {
        QMutexLocker lock(&addMutex);
        active.insert(active.end(), pendingAdd.begin(), pendingAdd.end());
        pendingAdd.clear();
    }
    try {
        applyPendingRemovals();
    } catch (...) {
        releaseTokens(idle, numThreads);
        throw;
    }
    for (TaskCollection* tasks : active) {
        QMutexLocker lock(&tasks->mutex);
        tasks->finishedCalled = false;
        tasks->cancelRequested.store(false, std::memory_order_relaxed);
    }
    {
        QMutexLocker lock(&idleMutex);
        allIdleSignalled = false;
    }
    trace(-1, "start rendering");
    releaseTokens(work, numThreads);
    if (!wait) return;
    // The flag is tested under the mutex the signalling worker holds while waking, so a run that
    // ends before we get here is not missed.
    {
        QMutexLocker lock(&idleMutex);
        while (!allIdleSignalled) waitOn(allIdle, idleMutex);
    }
    trace(-1, "finished \n");
}

void ThreadBase::abort(bool wait) {
    aborted = true;
    if (!wait || numThreads == 0) return;
    // Waiting for the end-of-run flag rather than borrowing the idle tokens: a borrowed token set
    // could hide the completed set from the last worker and swallow the run's signal.
    QMutexLocker lock(&idleMutex);
    while (!allIdleSignalled) waitOn(allIdle, idleMutex);
}

void ThreadBase::cancelRun() {
    // active changes only on this thread, in startRendering(), so it can be walked here.
    for (TaskCollection* tasks : active) tasks->cancel();
}

int ThreadBase::runPercentDone() const {
    if (active.empty()) return 0;
    int sum = 0;
    for (TaskCollection* tasks : active) sum += tasks->percentDone();
    return sum / static_cast<int>(active.size());
}

void ThreadBase::stopThreads() { joinWorkers(); }

bool ThreadBase::doWork() {
    for (TaskCollection* tasks : active) {
        for (;;) {
            if (stop || aborted) return true;
            clearUpperVectorHalves();
            if (tasks->cancelled() || tasks->runTask()) break;
        }
        QMutexLocker lock(&tasks->mutex);
        if (!tasks->finishedCalled) {
            tasks->finishedCalled = true;
            tasks->tasksFinished();
        }
    }
    return true;
}

void ThreadBase::workerLoop(int index) {
    // Round toward minus infinity for the worker's whole life: every float-to-integer conversion
    // of the shading code then floors. A new thread inherits its creator's register, so set it.
    const uint32_t savedControl = fpControl();
    setFpControl(roundingDown(savedControl));
    trace(index, "threadStarted");
    for (;;) {
        releaseTokens(idle, 1);
        if (availableTokens(idle) == numThreads) signalIfAllIdle(index);
        acquireTokens(work, 1);
        if (stop) break;
        trace(index, "waiting finished, start Work");
        doWork();
    }
    trace(index, "waiting finished, stopping Thread");
    setFpControl(savedControl);
    QtTsan::futexRelease(threads[index]);
}

void ThreadBase::signalIfAllIdle(int index) {
    // Several workers can see the full idle count; the flag lets only the first one signal.
    // The count is read again under the mutex: a worker that saw it full just before the next
    // run took the tokens and cleared the flag would otherwise end that run at its start.
    QMutexLocker lock(&idleMutex);
    if (allIdleSignalled || availableTokens(idle) != numThreads) return;
    allIdleSignalled = true;
    trace(index, "Waiting signal send");
    emit signalAllWaiting();
    allIdle.wakeAll();
}

void ThreadBase::applyPendingRemovals() {
    std::vector<std::pair<bool, TaskCollection*>> removals;
    {
        QMutexLocker lock(&removeMutex);
        removals.swap(pendingRemove);
    }
    for (std::size_t i = 0; i < removals.size(); ++i) {
        const auto [deleteIt, tasks] = removals[i];
        const auto found = std::find(active.begin(), active.end(), tasks);
        if (found == active.end()) {
            // The removals after the bad one stay pending.
            QMutexLocker lock(&removeMutex);
            pendingRemove.insert(pendingRemove.begin(), removals.begin() + i + 1, removals.end());
            lock.unlock();
            programmingError("Did not find one element in removeTasks");
        }
        active.erase(found);
        if (deleteIt) delete tasks;
    }
}

void ThreadBase::joinWorkers() {
    if (threads.empty()) return;
    acquireTokens(idle, numThreads);
    stop = true;
    releaseTokens(work, numThreads);
    for (WorkerThread* worker : threads) {
        worker->wait();
        QtTsan::futexAcquire(worker);
        delete worker;
    }
    threads.clear();
    numThreads = 0;
}

void ThreadBase::trace(int thread, const char* message) {
    if (!TraceOutput::enabled()) return;
    // A stack buffer: with trace output on, frames still allocate nothing.
    char text[200];
    if (thread < 0)
        std::snprintf(text, sizeof text, "%s", message);
    else
        std::snprintf(text, sizeof text, "Thread %d %s", thread, message);
    QMutexLocker lock(&logMutex);
    TraceOutput::line(text);
}
