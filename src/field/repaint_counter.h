#pragma once
// Counts the paints of the instrument views when TAVRIN_COUNT_REPAINTS is
// set, and logs their rate about every ten seconds of painting. Costs one
// test of a flag otherwise.

namespace RepaintCounter {

bool enabled();
// One paint of the view family `name` (a literal).
void count(const char* name);

} // namespace RepaintCounter
