#pragma once
// Installed physical memory. The kernel's MemTotal leaves out what firmware
// and the kernel image reserve, so the online memory blocks are counted
// first and MemTotal is the fallback.

#include <QString>

#include <cstdint>

namespace MemoryInfo {

// Bytes of installed memory under a root directory ("/" on the live
// machine); 0 when neither source can be read.
uint64_t installedMemory(const QString& root);

// The live machine's figure, read once.
uint64_t installedMemory();

} // namespace MemoryInfo
