#include "colrunprod/runs.hpp"

#include "common/column_split.hpp"
#include "common/convert.hpp"
#include "common/listparts.hpp"

namespace {

// Counts the runs that start in entries begin..end-1 and the part's entries
// per chunk; false when the rows of a run decrease.
bool countPart(const double* positions, int32_t begin, int32_t end, int32_t M, int64_t* perChunk,
               int64_t* runs) {
  ColumnSplit split(M);
  int32_t c = -1, last = 0;
  if (begin > 0) split.at(truncToInt32(positions[begin - 1]) - 1, &c, &last);
  int64_t n = 0;
  for (int32_t i = begin; i < end; ++i) {
    int32_t q, r;
    split.at(truncToInt32(positions[i]) - 1, &q, &r);
    if (q != c) {
      ++n;
      c = q;
    } else if (r < last) {
      return false;
    }
    last = r;
    ++perChunk[r / kChunkRows];
  }
  *runs = n;
  return true;
}

// Files entries begin..end-1; g is the run of the entry before the part,
// next[c] where chunk c's next entry of this part goes.
void filePart(const double* values, const double* positions, int32_t begin, int32_t end,
              int32_t M, int32_t g, int64_t* next, ChunkEntry* entries, int32_t* column) {
  ColumnSplit split(M);
  int32_t c = -1, r;
  if (begin > 0) split.at(truncToInt32(positions[begin - 1]) - 1, &c, &r);
  for (int32_t i = begin; i < end; ++i) {
    int32_t q;
    split.at(truncToInt32(positions[i]) - 1, &q, &r);
    if (q != c) {
      column[++g] = q;
      c = q;
    }
    const int32_t chunk = r / kChunkRows;
    entries[next[chunk]++] = ChunkEntry{r - chunk * kChunkRows, g, values[i]};
  }
}

}  // namespace

bool chunkList(const double* values, const double* positions, int32_t count, int32_t M,
               ChunkedListScratch* scratch, ChunkedList* list) {
  const int32_t chunks = M / kChunkRows + (M % kChunkRows != 0);
  const int parts = listParts(count);
  // Per part: its entries per chunk (then where they go), its runs, whether
  // it qualifies.
  const int64_t stride = static_cast<int64_t>(chunks) + 2;
  ScratchArray<int64_t> perPart = makeScratch<int64_t>(parts * stride);
  scratch->entries = makeScratch<ChunkEntry>(count);
  scratch->first = makeScratch<int64_t>(static_cast<int64_t>(chunks) + 1);
  if (!perPart || !scratch->entries || !scratch->first) return false;
  int64_t* table = perPart.get();
  for (int64_t x = 0; x < parts * stride; ++x) table[x] = 0;
  forEachPart(count, parts, [&](int p, int32_t begin, int32_t end) {
    int64_t* row = table + p * stride;
    row[chunks + 1] = countPart(positions, begin, end, M, row, &row[chunks]);
  });
  int64_t runs = 0;
  for (int p = 0; p < parts; ++p) {
    if (!table[p * stride + chunks + 1]) return false;
    runs += table[p * stride + chunks];
  }
  if (runs * 4 > count) return false;
  scratch->column = makeScratch<int32_t>(runs);
  if (!scratch->column) return false;

  int64_t* first = scratch->first.get();
  placePartCounts(table, parts, stride, chunks, first);
  // The run before each part: the runs of the parts before it, less one.
  int64_t before = -1;
  for (int p = 0; p < parts; ++p) {
    const int64_t n = table[p * stride + chunks];
    table[p * stride + chunks] = before;
    before += n;
  }
  forEachPart(count, parts, [&](int p, int32_t begin, int32_t end) {
    int64_t* row = table + p * stride;
    filePart(values, positions, begin, end, M, static_cast<int32_t>(row[chunks]), row,
             scratch->entries.get(), scratch->column.get());
  });
  list->runs = static_cast<int32_t>(runs);
  list->chunks = chunks;
  list->column = scratch->column.get();
  list->first = first;
  list->entries = scratch->entries.get();
  return true;
}
