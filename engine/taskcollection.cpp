// Default hooks of a task collection: the pool's callbacks do nothing unless overridden.
#include "engine/taskcollection.h"

TaskCollection::TaskCollection(QObject* parent) : QObject(parent) {}

void TaskCollection::tasksFinished() {}

void TaskCollection::stopDispensing() {}

int TaskCollection::percentDone() { return 0; }

void TaskCollection::cancel() {
    cancelRequested.store(true, std::memory_order_release);
    stopDispensing();
}
