// ThreadSanitizer defaults for the engine tests. The distribution's Qt library is not built with
// ThreadSanitizer: when QThread::wait() finds its thread already finished, the hand-over happens
// inside the library and ~QThread's wait condition looks racy against the thread's last wake-up.
// Likewise a queued signal: the worker's emit allocates the event inside the library, under the
// library's own post-event lock, and the main thread frees it after delivery; without that lock
// in view the hand-over looks like a race on the event's memory.
#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_suppressions() {
    return "race:QWaitCondition::~QWaitCondition\n"
           "race:ThreadBase::signalIfAllIdle\n";
}
#endif
