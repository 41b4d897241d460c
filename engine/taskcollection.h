// The unit of work the thread pool runs: a collection hands out its pieces (bands of rows for the
// frame engine) one runTask() call at a time until it reports that nothing is left.
#pragma once

#include <QMutex>
#include <QObject>

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

    // Guards finishedCalled; not recursive.
    QMutex mutex;
    // Set by the pool once it has called tasksFinished() in the current run, cleared when a run
    // starts.
    bool finishedCalled = false;
};
