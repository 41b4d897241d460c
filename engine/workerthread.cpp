// A worker hands its thread to the pool's loop.
#include "engine/workerthread.h"

#include "engine/threadbase.h"

WorkerThread::WorkerThread(ThreadBase* owner, int index) : owner(owner), index(index) {}

void WorkerThread::run() { owner->workerLoop(index); }
