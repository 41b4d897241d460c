// Trace lines on standard output: the pool, the traversal of a flagged packet and the black-hole
// tracer report what they do. Both programs turn them off unless asked (--trace, or the desktop
// program's Debug menu), so that their output stays readable.
#pragma once

#include <string>

namespace TraceOutput {
bool enabled();
void setEnabled(bool on);
// Writes text and a line end in one piece, so lines of different threads do not interleave.
void line(const std::string& text);
// The same for a text that fits a line buffer (up to 250 characters); allocates nothing, so a
// traced packet costs no allocation. Longer texts are cut there.
void line(const char* text);
}  // namespace TraceOutput
