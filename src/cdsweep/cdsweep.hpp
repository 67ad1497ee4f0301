#pragma once
// Coordinate-descent sweeps of the Newton model of an L1-regularised
// log-det problem over listed symmetric entries of one block of columns.
#include <cstdint>

// The block: W (n x m) holds columns index(c) of the symmetric inverse and
// U (n x m) = Delta W(:, index) at entry; rows[c] = index(c) - 1, distinct
// and in 0..n-1. Neither array is written.
struct SweepBlock {
  const double* W;
  const double* U;
  const int32_t* rows;
  int32_t n;
  int32_t m;
};

// The entries: entry e names the pair {(i, j), (j, i)} with i = rows[li[e]],
// j = rows[lj[e]]; g and theta hold G and Theta there.
struct SweepList {
  const int32_t* li;
  const int32_t* lj;
  const double* g;
  const double* theta;
  int32_t count;
};

// How the sweeps run: at most `sweeps` passes over the list (below 1:
// none), stopping after the first pass whose largest violation is at most
// tol (a NaN or negative tol never stops early), on `threads` threads (at
// least 1, at most one per chunk of 1024 rows).
struct SweepControl {
  double lambda;
  int32_t sweeps;
  double tol;
  int32_t threads;
};

// quad: the increase of 1/2 trace(W Delta W Delta) over the call; sweeps:
// the passes made; worst: the largest violation over the last pass (0 when
// none was made). The violation of an entry is the size of the model's
// minimum-norm subgradient along it, taken just before its update:
// |g + dot + lambda*sign(c)| where c != 0, else max(|g + dot| - lambda, 0);
// a NaN makes it NaN.
struct SweepResult {
  double quad = 0.0;
  int32_t sweeps = 0;
  double worst = 0.0;
};

// Runs the passes over the list in order; delta holds the entries'
// starting values and receives their final ones. Per entry, with
// Wij = W(i, lj), Wii = W(i, li), Wjj = W(j, lj):
//   dot = sum_k W(k, li) U(k, lj): rows in chunks of 1024, 8 partial sums
//         p[k mod 8] per chunk, each from +0 in ascending k, the chunk's sum
//         ((p0+p1)+(p2+p3))+((p4+p5)+(p6+p7)), the chunk sums added to +0
//         in ascending chunk order;
//   a   = Wij*Wij + Wii*Wjj (i != j) or Wii*Wii (i == j);
//   c   = theta + delta;  u = c - (g + dot)/a;  t = |u| - lambda/a;
//   mu  = -c + sign(u)*(t > 0 ? t : 0), sign(+-0) = +0, sign(NaN) = NaN;
//         mu = 0 unless a is finite and above 0.
// When mu is zero (of either sign) nothing changes; otherwise
//   delta = delta + mu;
//   U(i, q) = U(i, q) + mu*W(j, q) for all columns q, then, i != j,
//   U(j, q) = U(j, q) + mu*W(i, q);
//   quad = quad + ((2*mu)*dot + (a*mu)*mu)     (i != j)
//   quad = quad + (mu*dot + (0.5*(a*mu))*mu)   (i == j), quad from +0.
// Skipping mu = 0 keeps a -0 in U from turning +0 and an infinite W from
// putting NaN into U. The rows of W are W's own (W(j, q), not W(index(q),
// lj)), so U stays Delta W(:, index) exactly as the caller's W has it. The
// result does not depend on the thread count. Scratch holds two m x m
// arrays (the rows of U and W at index) and a copy of delta per extra
// thread; returns false, having written nothing, when it cannot be had.
bool coordinateSweeps(const SweepBlock& block, const SweepList& list, const SweepControl& control,
                      double* delta, SweepResult* result);

struct LowerColumns;

// The whole form: the block is every column (rows[c] = c, m = n) and W is
// the symmetric inverse, so W's columns serve for its rows and U is formed
// straight into the rows' scratch from the direction D (outside the list)
// and the listed entries at delta, in directionProduct's order: n*n
// doubles of scratch instead of three times that. The same bits as
// directionProduct then coordinateSweeps on the same symmetric W.
bool wholeSweeps(const double* W, const int32_t* rows, int32_t n, const LowerColumns& D,
                 const SweepList& list, const SweepControl& control, double* delta,
                 SweepResult* result);

