// Helpers shared by the benchmark programs.
#pragma once

#include <malloc.h>

#include <cstddef>
#include <cstdlib>

namespace qv::bench {

// Rows of the large tables: QV_BENCH_ROWS, default 1,000,000.
inline int Rows() {
  const char* n = std::getenv("QV_BENCH_ROWS");
  return n ? std::atoi(n) : 1000000;
}

// Heap in use now (mallinfo2), for memory figures.
inline std::size_t HeapInUse() {
  struct mallinfo2 m = mallinfo2();
  return m.uordblks + m.hblkhd;
}

}  // namespace qv::bench
