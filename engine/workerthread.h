// One worker of the thread pool: a QThread whose whole life is its owner's worker loop.
#pragma once

#include <QThread>

class ThreadBase;

class WorkerThread : public QThread {
    Q_OBJECT

public:
    WorkerThread(ThreadBase* owner, int index);

protected:
    void run() override;

private:
    ThreadBase* owner;
    int index;  // 0-based position among the owner's workers
};
