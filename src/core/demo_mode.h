#pragma once
// The process-wide demo switch: the defaults key "demo", read once.

class Defaults;

namespace DemoMode {

bool isOn();
// Reads the switch from the given defaults without caching.
bool read(const Defaults& defaults);

} // namespace DemoMode
