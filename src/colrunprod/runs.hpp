#pragma once
// The list regrouped for the sweep: entries filed by chunk of rows of S,
// each tagged with its run (a maximal stretch of entries in one column).
#include <cstdint>

#include "common/scratch.hpp"

// Rows of C one chunk holds: a chunk of 16 columns (512 KB) stays in the
// core's own cache while its entries use it.
constexpr int32_t kChunkRows = 4096;

struct ChunkEntry {
  int32_t row;  // within its chunk
  int32_t run;
  double value;
};

struct ChunkedList {
  int32_t runs = 0;
  int32_t chunks = 0;
  const int32_t* column = nullptr;  // the column of S of each run
  const int64_t* first = nullptr;   // chunks + 1 starts in `entries`
  const ChunkEntry* entries = nullptr;
};

// What a ChunkedList points into.
struct ChunkedListScratch {
  ScratchArray<ChunkEntry> entries;
  ScratchArray<int32_t> column;
  ScratchArray<int64_t> first;
};

// Files entries 0..count-1 (positions in an M x L matrix, M > 0) by chunk,
// each chunk's entries in list order. Returns false when the rows of some
// run decrease, when runs average fewer than four entries, or when scratch
// is not available.
bool chunkList(const double* values, const double* positions, int32_t count, int32_t M,
               ChunkedListScratch* scratch, ChunkedList* list);
