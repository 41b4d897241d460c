// Trace lines on standard output, switchable for the headless renderer.
#include "base/traceoutput.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

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

void TraceOutput::line(const char* text) {
    if (!enabled()) return;
    char buf[252];
    const size_t n = std::min(std::strlen(text), sizeof buf - 1);
    std::memcpy(buf, text, n);
    buf[n] = '\n';
    std::fwrite(buf, 1, n + 1, stdout);
}
