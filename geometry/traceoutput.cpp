// Trace lines on standard output, switchable for the headless renderer.
#include "geometry/traceoutput.h"

#include <atomic>
#include <cstdio>

namespace {
std::atomic<bool> traceOn{true};
}

bool TraceOutput::enabled() { return traceOn.load(std::memory_order_relaxed); }

void TraceOutput::setEnabled(bool on) { traceOn.store(on, std::memory_order_relaxed); }

void TraceOutput::line(const std::string& text) {
    if (!enabled()) return;
    std::string withEnd = text;
    withEnd += '\n';
    std::fwrite(withEnd.data(), 1, withEnd.size(), stdout);
}
