// ThreadSanitizer defaults for the engine tests. The distribution's Qt library is not built with
// ThreadSanitizer: when QThread::wait() finds its thread already finished, the hand-over happens
// inside the library and ~QThread's wait condition looks racy against the thread's last wake-up.
#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_suppressions() {
    return "race:QWaitCondition::~QWaitCondition\n";
}
#endif
