#pragma once
// Block-split layout of a sparse symmetric matrix: variables renumbered so
// that each block is one contiguous slice of positions, in-block entries in
// compressed columns with 16-bit local rows, couplings between blocks in
// lists grouped by block pair. All vectors on the layout are indexed by
// position.
#include <cstdint>

// Local indices are 16 bits wide.
constexpr uint64_t kMaxBlockSize = 65536;

struct BlockLayout {
  const uint64_t* Ir = nullptr;  // A whole (both triangles), rows ascending,
  const uint64_t* Jc = nullptr;  // diagonal stored in every column
  const double* values = nullptr;
  uint64_t* perm = nullptr;              // position -> variable
  uint64_t* invPerm = nullptr;           // variable -> position
  const uint64_t* blockIndex = nullptr;  // 0-based block of every variable
  uint64_t* blockStart = nullptr;        // numBlocks + 1 first positions
  int32_t numBlocks = 0;
  int32_t wholeBlocks = 1;  // 1: diagonal blocks whole; 0: lower triangles
  uint64_t n = 0;
};

struct DiagBlocks {
  uint64_t* diagColStart = nullptr;  // n + 1
  uint16_t* diagRow = nullptr;       // local row of each entry
  double* diagValue = nullptr;
  double* invDiag = nullptr;  // 1 / diagonal by position, when formed
  uint64_t diagCount = 0;
};

struct CouplingLists {
  uint16_t* coupleCol = nullptr;  // local column position
  uint16_t* coupleRow = nullptr;  // local row position in the row's block
  double* coupleValue = nullptr;
  uint64_t* pairStart = nullptr;  // numBlocks^2 + 1; pair = colBlock * numBlocks + rowBlock
};

enum class LayoutStatus { ok, outOfMemory, tooManyBlocks, blockTooLarge };

// Fills every field of the three records from A's arrays, blockIndex,
// wholeBlocks and n in the layout. tooManyBlocks: a block number is at
// least INT32_MAX; blockTooLarge: a block holds more than kMaxBlockSize
// variables (blockStart is then valid). Whatever the status, release
// with freeBlockLayout.
LayoutStatus buildBlockLayout(BlockLayout& layout, DiagBlocks& D, CouplingLists& C);

// Allocates and fills D.invDiag; false when out of memory.
bool computeInverseDiagonal(const BlockLayout& layout, DiagBlocks& D);

// Number of the largest block (the first of equal size), and its size.
int32_t largestBlock(const BlockLayout& layout, uint64_t* size);

// Frees what the builders allocated and clears the pointers; safe on
// partly built and on already freed records.
void freeBlockLayout(BlockLayout& layout, DiagBlocks& D, CouplingLists& C);

// The three records of one layout, freed with the holder on every path.
struct OwnedLayout {
  BlockLayout layout;
  DiagBlocks diag;
  CouplingLists couple;
  OwnedLayout() = default;
  OwnedLayout(const OwnedLayout&) = delete;
  OwnedLayout& operator=(const OwnedLayout&) = delete;
  ~OwnedLayout() { freeBlockLayout(layout, diag, couple); }
};
