// The plain pass by tiles: entries filed by tile of the output (a block of
// rows by a block of columns), so that a tile's left-factor columns are
// fetched once and then read from the core's own cache.
#include <omp.h>

#include "common/column_split.hpp"
#include "common/convert.hpp"
#include "common/listparts.hpp"
#include "common/scratch.hpp"
#include "entryprod/dots.hpp"
#include "entryprod/entryprod.hpp"

namespace {

// Left-factor columns one tile keeps in the core's cache. Right-factor
// columns are each read once per tile, so they only stream.
constexpr int64_t kTileBytes = 512 * 1024;
// Output columns per tile: wide, so each left-factor column serves many.
constexpr int kColumnShift = 10;

struct TiledEntry {
  int32_t k;  // position in the output
  int32_t p;  // column of the left factor
  int32_t j;  // column of the right factor
};

// Tiles of 2^rowShift output rows by 2^colShift output columns.
struct TilePlan {
  int rowShift = 0, colShift = kColumnShift;
  int64_t tilesR = 1, tilesJ = 1;
  int64_t tiles() const { return tilesR * tilesJ; }
};

TilePlan planTiles(int32_t m, int32_t L, int32_t N, int32_t count) {
  TilePlan t;
  while (t.rowShift < 30 && (int64_t{2} << t.rowShift) * m * 8 <= kTileBytes) ++t.rowShift;
  auto count_tiles = [&] {
    t.tilesR = ((static_cast<int64_t>(L) - 1) >> t.rowShift) + 1;
    t.tilesJ = ((static_cast<int64_t>(N) - 1) >> t.colShift) + 1;
  };
  count_tiles();
  // A table no longer than the list: coarser tiles where there are many.
  const int64_t most = count > 4096 ? count : 4096;
  while (t.tiles() > most) {
    if (t.tilesR >= t.tilesJ)
      ++t.rowShift;
    else
      ++t.colShift;
    count_tiles();
  }
  return t;
}

// Decodes a list entry: its output position, row and column, and the
// left-factor column its row maps to.
TiledEntry decode(ColumnSplit& split, double position, const double* rowMap, int32_t* r) {
  TiledEntry e;
  e.k = truncToInt32(position) - 1;
  split.at(e.k, &e.j, r);
  e.p = truncToInt32(rowMap[*r]) - 1;
  return e;
}

// The entries of one column j, eight at a time; a short last group repeats
// its last entry, whose extra sums are not stored.
void computeColumn(double* out, const double* a, const double* bj, int64_t m,
                   const TiledEntry* e, int64_t n) {
  for (int64_t x = 0; x < n; x += 8) {
    const int64_t held = n - x < 8 ? n - x : 8;
    const double* as[8];
    for (int w = 0; w < 8; ++w) as[w] = a + e[x + (w < held ? w : held - 1)].p * m;
    double s[8];
    entrydots::dotShared<8>(as, bj, m, s);
    for (int w = 0; w < held; ++w) out[e[x + w].k] = s[w];
  }
}

// One tile's entries (columns j0..j0+width-1), ordered by column into tmp
// (list order kept within a column) and computed column by column.
void computeTile(double* out, const double* a, const double* b, int64_t m,
                 const TiledEntry* e, int64_t n, int32_t j0, int32_t width, TiledEntry* tmp,
                 int64_t* at) {
  for (int32_t c = 0; c <= width; ++c) at[c] = 0;
  for (int64_t x = 0; x < n; ++x) ++at[e[x].j - j0 + 1];
  for (int32_t c = 0; c < width; ++c) at[c + 1] += at[c];
  for (int64_t x = 0; x < n; ++x) tmp[at[e[x].j - j0]++] = e[x];
  int64_t x = 0;
  while (x < n) {
    int64_t y = x + 1;
    while (y < n && tmp[y].j == tmp[x].j) ++y;
    computeColumn(out, a, b + tmp[x].j * m, m, tmp + x, y - x);
    x = y;
  }
}

}  // namespace

bool productEntriesPassTiled(double* out, const double* a, const double* b, int32_t m,
                             const double* positions, int32_t count, const double* rowMap,
                             int32_t L, int32_t N) {
  if (count == 0) return true;
  const TilePlan plan = planTiles(m, L, N, count);
  const int64_t tiles = plan.tiles();
  const int parts = listParts(count);
  // Per part, per tile: its entries, then where the next one goes.
  ScratchArray<int64_t> table = makeScratch<int64_t>(parts * tiles);
  ScratchArray<int64_t> first = makeScratch<int64_t>(tiles + 1);
  ScratchArray<int32_t> tileOf = makeScratch<int32_t>(count);
  ScratchArray<TiledEntry> entries = makeScratch<TiledEntry>(count);
  if (!table || !first || !tileOf || !entries) return false;
  for (int64_t x = 0; x < parts * tiles; ++x) table[x] = 0;
  // Counting sort: tile counts, then places.
  forEachPart(count, parts, [&](int part, int32_t begin, int32_t end) {
    int64_t* perTile = table.get() + part * tiles;
    ColumnSplit split(L);
    for (int32_t i = begin; i < end; ++i) {
      int32_t r;
      const TiledEntry e = decode(split, positions[i], rowMap, &r);
      const int64_t t = (e.j >> plan.colShift) * plan.tilesR + (r >> plan.rowShift);
      tileOf[i] = static_cast<int32_t>(t);
      ++perTile[t];
    }
  });
  placePartCounts(table.get(), parts, tiles, tiles, first.get());
  forEachPart(count, parts, [&](int part, int32_t begin, int32_t end) {
    int64_t* next = table.get() + part * tiles;
    ColumnSplit split(L);
    for (int32_t i = begin; i < end; ++i) {
      int32_t r;
      entries[next[tileOf[i]]++] = decode(split, positions[i], rowMap, &r);
    }
  });
  // Per thread, room to order the largest tile by column.
  int64_t largest = 0;
  for (int64_t t = 0; t < tiles; ++t)
    if (first[t + 1] - first[t] > largest) largest = first[t + 1] - first[t];
  const int threads = omp_get_max_threads();
  const int32_t width = static_cast<int32_t>(int64_t{1} << plan.colShift);
  ScratchArray<TiledEntry> tmp = makeScratch<TiledEntry>(threads * largest);
  ScratchArray<int64_t> perColumn =
      makeScratch<int64_t>(threads * (static_cast<int64_t>(width) + 1));
  if (!tmp || !perColumn) return false;
  // Tiles as threads come free.
  const int64_t stride = m;
#pragma omp parallel for schedule(dynamic, 1)
  for (int64_t t = 0; t < tiles; ++t) {
    const int id = omp_get_thread_num();
    const int32_t j0 = static_cast<int32_t>((t / plan.tilesR) << plan.colShift);
    computeTile(out, a, b, stride, entries.get() + first[t], first[t + 1] - first[t], j0, width,
                tmp.get() + id * largest,
                perColumn.get() + id * (static_cast<int64_t>(width) + 1));
  }
  return true;
}
