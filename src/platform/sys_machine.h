#pragma once
// Readers of /sys for the whole-machine figures. Each takes the root
// directory ("" for the live machine, as ProcFiles::normaliseRoot gives).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace SysMachine {

// Physical network interfaces: those with a device link, lo excluded.
std::vector<std::string> physicalInterfaces(const std::string& root);

// Whole physical disks: /sys/block entries with a device link that are not
// loop, ram or zram devices.
std::vector<std::string> physicalDisks(const std::string& root);

// Bytes read and written by the physical disks since boot.
std::optional<std::pair<uint64_t, uint64_t>> diskBytes(const std::string& root);

// The busiest DRM card's utilisation as 0...1; 0 when none reports it.
double gpuBusy(const std::string& root);

// Memory the zram devices hold, in bytes (mm_stat's third field).
uint64_t zramUsed(const std::string& root);

// Efficiency cores among `cpus` (ids): the hybrid cpu_atom list, else
// the cores whose cpu_capacity is below the greatest, else none.
std::vector<bool> efficiencyCores(const std::string& root, const std::vector<int>& cpus);

} // namespace SysMachine
