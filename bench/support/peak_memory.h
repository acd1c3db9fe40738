// The memory an operation needs at its peak: how far the process's peak resident size (VmHWM)
// rose above its resident size (VmRSS) just before, the peak having been reset to the current size
// through /proc/self/clear_refs. Memory the heap kept from earlier work is handed back first, so
// that the operation cannot hide its needs in it.
#pragma once

#include <malloc.h>

#include <cstring>
#include <fstream>
#include <string>

namespace benchmem {

// A line of /proc/self/status in KiB ("VmRSS", "VmHWM"); -1 when there is none.
inline long StatusKiB(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const std::size_t n = std::strlen(key);
  while (std::getline(in, line))
    if (line.compare(0, n, key) == 0 && line.size() > n && line[n] == ':') return std::stol(line.substr(n + 1));
  return -1;
}

// The rise in MiB while fn ran; -1 where the peak cannot be reset.
template <class Fn>
double PeakRiseMiB(Fn&& fn) {
  ::malloc_trim(0);
  const long before = StatusKiB("VmRSS");
  std::ofstream("/proc/self/clear_refs") << "5";
  const bool reset = StatusKiB("VmHWM") <= before + 1024;
  fn();
  return reset ? static_cast<double>(StatusKiB("VmHWM") - before) / 1024.0 : -1.0;
}

}  // namespace benchmem
