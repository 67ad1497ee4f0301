#include "cdsweep/cdsweep.hpp"

#include <omp.h>

#include <algorithm>
#include <cmath>

#include "cdsweep/direction.hpp"
#include "common/pages.hpp"
#include "common/scratch.hpp"

namespace {

// Rows per chunk of a dot product; a multiple of 8, so every chunk starts
// at lane 0 and threads can own whole chunks.
constexpr int32_t kChunk = 1024;

int32_t chunkCount(int32_t n) { return n == 0 ? 0 : (n - 1) / kChunk + 1; }

// One past the last row of chunk ch, counted in 64 bits: the last chunk's
// nominal end may pass INT32_MAX.
int32_t chunkEnd(int32_t n, int32_t ch) {
  return static_cast<int32_t>(std::min<int64_t>(n, (static_cast<int64_t>(ch) + 1) * kChunk));
}

// p[l] += w[k + l] * u[k + l] over the whole groups of 8 in [k, end).
inline void addGroups(double* p, const double* w, const double* u, int32_t k, int32_t end) {
  double s0 = p[0], s1 = p[1], s2 = p[2], s3 = p[3], s4 = p[4], s5 = p[5], s6 = p[6], s7 = p[7];
  for (; k < end; k += 8) {
    s0 += w[k] * u[k];
    s1 += w[k + 1] * u[k + 1];
    s2 += w[k + 2] * u[k + 2];
    s3 += w[k + 3] * u[k + 3];
    s4 += w[k + 4] * u[k + 4];
    s5 += w[k + 5] * u[k + 5];
    s6 += w[k + 6] * u[k + 6];
    s7 += w[k + 7] * u[k + 7];
  }
  p[0] = s0, p[1] = s1, p[2] = s2, p[3] = s3, p[4] = s4, p[5] = s5, p[6] = s6, p[7] = s7;
}

// The chunk [k0, k1) of W(:, li)'U(:, lj) with U's current rows at index:
// rows sr[t..tEnd) (ascending, inside the chunk) take the value col[t]
// instead of u's. Whole groups of 8 without such a row run straight through.
double chunkSum(const double* w, const double* u, int32_t k0, int32_t k1, const int32_t* sr,
                const double* col, int32_t t, int32_t tEnd) {
  double p[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  int32_t k = k0;
  while (t < tEnd) {
    const int32_t g = sr[t] & ~7;
    addGroups(p, w, u, k, g);
    const int32_t len = std::min(8, k1 - g);
    double patched[8];
    for (int32_t l = 0; l < len; ++l) patched[l] = u[g + l];
    for (; t < tEnd && sr[t] < g + 8; ++t) patched[sr[t] - g] = col[t];
    for (int32_t l = 0; l < len; ++l) p[l] += w[g + l] * patched[l];
    k = g + len;
  }
  const int32_t whole = k + ((k1 - k) & ~7);
  addGroups(p, w, u, k, whole);
  for (int32_t l = 0; l < k1 - whole; ++l) p[l] += w[whole + l] * u[whole + l];
  return ((p[0] + p[1]) + (p[2] + p[3])) + ((p[4] + p[5]) + (p[6] + p[7]));
}

// The coordinate step; see the header for the expression order.
inline double newtonStep(double a, double b, double c, double lambda) {
  if (!(a > 0.0 && std::isfinite(a))) return 0.0;
  const double u = c - b / a;
  const double t = std::fabs(u) - lambda / a;
  const double sign = u > 0.0 ? 1.0 : (u < 0.0 ? -1.0 : (u == 0.0 ? 0.0 : u));
  return -c + sign * (t > 0.0 ? t : 0.0);
}

// x[0..m) += mu * y[0..m)
inline void addRow(double* x, const double* y, double mu, int64_t m) {
  for (int64_t c = 0; c < m; ++c) x[c] += mu * y[c];
}

// Scratch of one call. Only the rows of U at index ever change, so U is
// never copied whole: those m rows live here, row-major, so that a row
// update is contiguous; the dots read the caller's U and take these rows
// instead where they fall. The rows of W at index sit beside them, so that
// row j of W is contiguous too. Plus the index rows in ascending order, one
// column of Ub in that order, the chunk tables of the dot
// products, and a copy of delta for every thread after the first.
struct Scratch {
  ScratchArray<double> Ub, Wr, sums, columns, deltas;
  ScratchArray<int32_t> sortedRows, sortedLocal, sortedPlace, chunkFirst;

  // Without ownWr the rows of W are its columns (the whole form).
  bool allocate(int32_t n, int32_t m, int32_t count, int32_t team, bool ownWr = true) {
    const std::size_t mm = static_cast<std::size_t>(m) * static_cast<std::size_t>(m);
    const std::size_t chunks = static_cast<std::size_t>(chunkCount(n));
    Ub = makeScratch<double>(mm);
    adviseHugePages(Ub.get(), mm * sizeof(double));
    Wr = makeScratch<double>(ownWr ? mm : 1);
    sums = makeScratch<double>(2 * chunks);
    columns = makeScratch<double>(static_cast<std::size_t>(m));
    deltas = makeScratch<double>(static_cast<std::size_t>(count) * (team - 1));
    sortedRows = makeScratch<int32_t>(m);
    sortedLocal = makeScratch<int32_t>(m);
    sortedPlace = makeScratch<int32_t>(m);
    chunkFirst = makeScratch<int32_t>(chunks + 1);
    return Ub && Wr && sums && columns && deltas && sortedRows && sortedLocal && sortedPlace &&
           chunkFirst;
  }
};

// The size of the model's minimum-norm subgradient along one entry.
inline double violation(double b, double c, double lambda) {
  if (c != 0.0) return std::fabs(b + (c > 0.0 ? lambda : -lambda));
  const double v = std::fabs(b) - lambda;
  return v > 0.0 ? v : (v <= 0.0 ? 0.0 : v);
}

// What every update reads; the block's tables are set up.
struct Sweep {
  const SweepBlock& block;
  const SweepList& list;
  const SweepControl& control;
  Scratch& s;
  const double* Wr;
  double* delta;
  int32_t chunks;
};

// The passes on `team` threads. Every thread computes every step (the same
// sums in the same order), so each keeps its own copy of delta and decides
// alone, and alike, when to stop; thread 0's copy is the caller's delta.
void runSweeps(const Sweep& x, int32_t team, SweepResult* result) {
  const SweepBlock& block = x.block;
  const SweepList& list = x.list;
  const int32_t n = block.n, chunks = x.chunks;
  const int64_t m = block.m, ldw = n;
  // With every row at index, the gathered column is the whole of U's.
  const bool whole = block.m == block.n;
  double* Ub = x.s.Ub.get();
  const double* Wr = x.Wr;
  const int32_t* sr = x.s.sortedRows.get();
  const int32_t* sl = x.s.sortedLocal.get();
  const int32_t* place = x.s.sortedPlace.get();
  const int32_t* chunkFirst = x.s.chunkFirst.get();
  double* col = x.s.columns.get();
  const double lambda = x.control.lambda;
#pragma omp parallel num_threads(team) if (team > 1)
  {
    // Each thread owns whole chunks of rows: it sums their parts of every
    // dot and applies the row updates that fall in them, so the only
    // exchange is the chunk sums, and one barrier per update suffices.
    const int32_t size = omp_get_num_threads(), id = omp_get_thread_num();
    const int32_t c0 = static_cast<int32_t>(static_cast<int64_t>(chunks) * id / size);
    const int32_t c1 = static_cast<int32_t>(static_cast<int64_t>(chunks) * (id + 1) / size);
    const int64_t lo = static_cast<int64_t>(c0) * kChunk;
    const int64_t hi = std::min<int64_t>(n, static_cast<int64_t>(c1) * kChunk);
    double* delta = id == 0 ? x.delta : x.s.deltas.get() + static_cast<int64_t>(id - 1) * list.count;
    if (id != 0) std::copy(x.delta, x.delta + list.count, delta);
    // col[t] = U(sr[t], lj) for this thread's rows, in sorted order: a
    // list grouped by column reads the same column of U's rows at index
    // several times in a row, so it is gathered when lj changes and kept
    // current through the row updates.
    const int32_t t0 = chunkFirst[c0], t1 = chunkFirst[c1];
    int64_t cached = -1;
    int64_t k = 0;
    double quad = 0.0, worst = 0.0;
    int32_t sweep = 0;
    while (sweep < x.control.sweeps) {
      worst = 0.0;
      for (int32_t e = 0; e < list.count; ++e, ++k) {
        const int64_t li = list.li[e], lj = list.lj[e];
        const int32_t i = block.rows[li], j = block.rows[lj];
        // One set of chunk sums per update parity: a thread may start the
        // next update's sums while another still adds up this one's.
        double* sums = x.s.sums.get() + (k & 1) * chunks;
        const double* w = block.W + li * ldw;
        const double* u = whole ? col : block.U + lj * ldw;
        if (lj != cached) {
          for (int32_t t = t0; t < t1; ++t) col[t] = Ub[sl[t] * m + lj];
          cached = lj;
        }
        for (int32_t ch = c0; ch < c1; ++ch) {
          const int32_t patched = whole ? chunkFirst[ch] : chunkFirst[ch + 1];
          sums[ch] = chunkSum(w, u, ch * kChunk, chunkEnd(n, ch), sr, col, chunkFirst[ch], patched);
        }
#pragma omp barrier
        double dot = 0.0;
        for (int32_t ch = 0; ch < chunks; ++ch) dot += sums[ch];
        const double wij = Wr[li * m + lj], wii = Wr[li * m + li], wjj = Wr[lj * m + lj];
        const double a = i != j ? wij * wij + wii * wjj : wii * wii;
        const double c = list.theta[e] + delta[e];
        const double b = list.g[e] + dot;
        const double v = violation(b, c, lambda);
        if (v > worst || std::isnan(v)) worst = v;
        const double mu = newtonStep(a, b, c, lambda);
        if (mu == 0.0) continue;
        delta[e] += mu;
        quad += i != j ? (2.0 * mu) * dot + (a * mu) * mu : mu * dot + (0.5 * (a * mu)) * mu;
        if (i >= lo && i < hi) {
          addRow(Ub + li * m, Wr + lj * m, mu, m);
          col[place[li]] = Ub[li * m + lj];
        }
        if (i != j && j >= lo && j < hi) {
          addRow(Ub + lj * m, Wr + li * m, mu, m);
          col[place[lj]] = Ub[lj * m + lj];
        }
      }
      ++sweep;
      if (worst <= x.control.tol) break;
    }
    if (id == 0) *result = SweepResult{quad, sweep, worst};
  }
}

}  // namespace


namespace {

// The sorted rows of the block and the chunk tables of the dots.
void rowTables(const SweepBlock& block, int32_t chunks, Scratch& s) {
  const int32_t m = block.m;
  int32_t* sr = s.sortedRows.get();
  int32_t* sl = s.sortedLocal.get();
  int32_t* place = s.sortedPlace.get();
  int32_t* chunkFirst = s.chunkFirst.get();
  for (int32_t c = 0; c < m; ++c) sl[c] = c;
  std::sort(sl, sl + m, [&](int32_t x, int32_t y) { return block.rows[x] < block.rows[y]; });
  for (int32_t t = 0; t < m; ++t) {
    sr[t] = block.rows[sl[t]];
    place[sl[t]] = t;
  }
  for (int32_t ch = 0, t = 0; ch <= chunks; ++ch) {
    while (t < m && sr[t] < static_cast<int64_t>(ch) * kChunk) ++t;
    chunkFirst[ch] = t;
  }
}

// x[q0..q1) += v * y[q0..q1)
inline void addSlice(double* x, const double* y, double v, int64_t q0, int64_t q1) {
  for (int64_t q = q0; q < q1; ++q) x[q] += v * y[q];
}

// Ub = U = Delta W row-major, from D and the listed entries at delta, in
// the order directionProduct follows for each column q, with W's column
// read for its row. Threads own slices of columns.
void wholeProduct(const LowerColumns& D, const double* W, const SweepList& list,
                  const double* delta, int32_t team, double* Ub) {
  const int64_t n = D.n;
#pragma omp parallel num_threads(team) if (team > 1)
  {
    const int32_t size = omp_get_num_threads(), id = omp_get_thread_num();
    const int64_t q0 = n * id / size, q1 = n * (id + 1) / size;
    for (int64_t r = 0; r < n; ++r) std::fill(Ub + r * n + q0, Ub + r * n + q1, 0.0);
    for (int64_t c = 0; c < n; ++c)
      for (uint64_t k = D.Jc[c]; k < D.Jc[c + 1]; ++k) {
        const int64_t r = static_cast<int64_t>(D.Ir[k]);
        const double v = D.values[k];
        if (v == 0.0) continue;
        addSlice(Ub + r * n, W + c * n, v, q0, q1);
        if (r != c) addSlice(Ub + c * n, W + r * n, v, q0, q1);
      }
    for (int32_t e = 0; e < list.count; ++e) {
      const int64_t i = list.li[e], j = list.lj[e];
      const double d = delta[e];
      if (d == 0.0) continue;
      addSlice(Ub + i * n, W + j * n, d, q0, q1);
      if (i != j) addSlice(Ub + j * n, W + i * n, d, q0, q1);
    }
  }
}

}  // namespace

bool coordinateSweeps(const SweepBlock& block, const SweepList& list, const SweepControl& control,
                      double* delta, SweepResult* result) {
  const int32_t n = block.n;
  const int64_t m = block.m, ldw = n;
  const int32_t chunks = chunkCount(n);
  const int32_t team = std::max(1, std::min(control.threads, chunks));
  Scratch s;
  if (!s.allocate(n, block.m, list.count, team)) return false;
  rowTables(block, chunks, s);
  double* Ub = s.Ub.get();
  double* Wr = s.Wr.get();
  const int32_t* sr = s.sortedRows.get();
  const int32_t* sl = s.sortedLocal.get();
  // Ub(r, c) = U(rows[r], c) and Wr(r, c) = W(rows[r], c), row-major, 8
  // columns at a time: a whole line of each row is written at once, while
  // the 8 columns are read down the sorted rows.
  for (int64_t c0 = 0; c0 < m; c0 += 8) {
    const int64_t c1 = std::min<int64_t>(m, c0 + 8);
    for (int32_t t = 0; t < m; ++t)
      for (int64_t c = c0; c < c1; ++c) {
        Ub[sl[t] * m + c] = block.U[sr[t] + c * ldw];
        Wr[sl[t] * m + c] = block.W[sr[t] + c * ldw];
      }
  }

  const Sweep x{block, list, control, s, Wr, delta, chunks};
  *result = SweepResult{};
  if (control.sweeps > 0) runSweeps(x, team, result);
  return true;
}

bool wholeSweeps(const double* W, const int32_t* rows, int32_t n, const LowerColumns& D,
                 const SweepList& list, const SweepControl& control, double* delta,
                 SweepResult* result) {
  const int32_t chunks = chunkCount(n);
  const int32_t team = std::max(1, std::min(control.threads, chunks));
  Scratch s;
  if (!s.allocate(n, n, list.count, team, false)) return false;
  const SweepBlock block{W, nullptr, rows, n, n};
  rowTables(block, chunks, s);
  wholeProduct(D, W, list, delta, team, s.Ub.get());
  const Sweep x{block, list, control, s, W, delta, chunks};
  *result = SweepResult{};
  if (control.sweeps > 0) runSweeps(x, team, result);
  return true;
}
