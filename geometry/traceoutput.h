// Trace lines on standard output: the pool, the traversal of a flagged packet and the black-hole
// tracer report what they do. The desktop program keeps them on; the headless renderer turns
// them off unless asked, so that its output stays readable.
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
