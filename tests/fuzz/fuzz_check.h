// What every fuzz target uses: a broken property stops the run with its text, so that libFuzzer
// keeps the input as a finding and the replay test fails on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define TESSARY_FUZZ_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TESSARY_FUZZ_ASAN 1
#endif
#endif
#ifdef TESSARY_FUZZ_ASAN
#include <sanitizer/asan_interface.h>
#else
#define ASAN_POISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#define ASAN_UNPOISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#endif

#define FUZZ_CHECK(cond) ((cond) ? (void)0 : ::fuzzcheck::Fail(#cond, __FILE__, __LINE__))

namespace fuzzcheck {

[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, what);
  std::abort();
}

// A buffer of exactly size bytes with a guard behind it. Under AddressSanitizer the guard is
// poisoned, so touching it is caught at once; without it, GuardIntact() finds a write after the
// fact.
class GuardedBuffer {
 public:
  static constexpr std::size_t kGuard = 32;
  static constexpr uint8_t kGuardByte = 0xA5;

  explicit GuardedBuffer(std::size_t size, uint8_t fill = 0) : m_size(size), m_block(size + kGuard, kGuardByte) {
    for (std::size_t i = 0; i < size; ++i) m_block[i] = fill;
    ASAN_POISON_MEMORY_REGION(m_block.data() + m_size, kGuard);
  }
  ~GuardedBuffer() { ASAN_UNPOISON_MEMORY_REGION(m_block.data() + m_size, kGuard); }
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;

  uint8_t* data() { return m_block.data(); }
  std::size_t size() const { return m_size; }

  bool GuardIntact() {
    ASAN_UNPOISON_MEMORY_REGION(m_block.data() + m_size, kGuard);
    bool intact = true;
    for (std::size_t i = m_size; i < m_block.size(); ++i) intact = intact && m_block[i] == kGuardByte;
    ASAN_POISON_MEMORY_REGION(m_block.data() + m_size, kGuard);
    return intact;
  }

 private:
  std::size_t m_size;
  std::vector<uint8_t> m_block;
};

}  // namespace fuzzcheck
