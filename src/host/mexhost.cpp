#include "host/mexhost.hpp"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace host {

namespace {

void describeClass(const mxArray* a, char* buf, std::size_t size) {
  std::snprintf(buf, size, "%s%s%s", mxIsSparse(a) ? "sparse " : "",
                mxIsComplex(a) ? "complex " : "", mxGetClassName(a));
}

}  // namespace

bool Call::reject(int k, const char* fmt, ...) const {
  char text[512];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(text, sizeof text, fmt, ap);
  va_end(ap);
  mexPrintf("ERROR: %s: argument %d (%s): %s\n", module_, k + 1, name(k), text);
  return false;
}

bool Call::rejectCall(const char* fmt, ...) const {
  char text[512];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(text, sizeof text, fmt, ap);
  va_end(ap);
  mexPrintf("ERROR: %s: %s\n", module_, text);
  return false;
}

bool Call::verbatim(const char* text) const {
  mexPrintf("%s", text);
  return false;
}

bool Call::outOfMemory() const {
  if (oomMessage_) return verbatim(oomMessage_);
  return rejectCall("out of memory");
}

bool Call::needArgs(int count) const {
  if (nrhs_ >= count) return true;
  return rejectCall("expected %d arguments, found %d", count, nrhs_);
}

bool Call::realDoubleClass(int k, bool wantSparse) const {
  const mxArray* a = prhs_[k];
  if (mxIsDouble(a) && !mxIsComplex(a) && (mxIsSparse(a) != 0) == wantSparse) return true;
  char found[96];
  describeClass(a, found, sizeof found);
  return reject(k, "expected a %s real double array, found %s", wantSparse ? "sparse" : "full",
                found);
}

bool Call::dense(int k, const double** data) const {
  if (!realDoubleClass(k, false)) return false;
  *data = mxGetPr(prhs_[k]);
  return true;
}

bool Call::sparse(int k, SparseArg* out) const {
  if (!realDoubleClass(k, true)) return false;
  const mxArray* a = prhs_[k];
  out->Ir = reinterpret_cast<const Index*>(mxGetIr(a));
  out->Jc = reinterpret_cast<const Index*>(mxGetJc(a));
  out->values = mxGetPr(a);
  out->rows = rows(k);
  out->cols = cols(k);
  return true;
}

bool Call::sparsePattern(int k, SparseArg* out) const {
  const mxArray* a = prhs_[k];
  if (!mxIsSparse(a)) {
    char found[96];
    describeClass(a, found, sizeof found);
    return reject(k, "expected a sparse array, found %s", found);
  }
  out->Ir = reinterpret_cast<const Index*>(mxGetIr(a));
  out->Jc = reinterpret_cast<const Index*>(mxGetJc(a));
  out->values = nullptr;
  out->rows = rows(k);
  out->cols = cols(k);
  return true;
}

bool Call::uint64s(int k, const uint64_t** data) const {
  const mxArray* a = prhs_[k];
  if (!mxIsUint64(a) || mxIsComplex(a))
    return reject(k, "expected a real uint64 array, found %s%s", mxIsComplex(a) ? "complex " : "",
                  mxGetClassName(a));
  *data = static_cast<const uint64_t*>(mxGetData(a));
  return true;
}

bool Call::shape(int k, int64_t wantRows, int64_t wantCols) const {
  const int64_t m = rows(k), n = cols(k);
  if ((wantRows < 0 || m == wantRows) && (wantCols < 0 || n == wantCols)) return true;
  char want[64];
  if (wantRows < 0)
    std::snprintf(want, sizeof want, "%" PRId64 " columns", wantCols);
  else if (wantCols < 0)
    std::snprintf(want, sizeof want, "%" PRId64 " rows", wantRows);
  else
    std::snprintf(want, sizeof want, "%" PRId64 " x %" PRId64, wantRows, wantCols);
  return reject(k, "expected %s, found %" PRId64 " x %" PRId64, want, m, n);
}

bool Call::atLeast(int k, int64_t need, const char* per) const {
  if (numel(k) >= need) return true;
  return reject(k, "expected %" PRId64 " values, one per %s, found %" PRId64, need, per, numel(k));
}

bool Call::exactly(int k, int64_t need, const char* noun, const char* per) const {
  if (numel(k) == need) return true;
  if (!per) return reject(k, "expected %" PRId64 " %s, found %" PRId64, need, noun, numel(k));
  return reject(k, "expected %" PRId64 " %s, one per %s, found %" PRId64, need, noun, per,
                numel(k));
}

bool Call::scalar(int k, double* out) const {
  const mxArray* a = prhs_[k];
  if (!(mxIsNumeric(a) || mxIsLogical(a)) || mxIsComplex(a)) {
    char found[96];
    describeClass(a, found, sizeof found);
    return reject(k, "expected a real number, found %s", found);
  }
  if (mxGetNumberOfElements(a) == 0)
    return reject(k, "expected a real number, found an empty array");
  *out = mxGetScalar(a);
  return true;
}

bool Call::intScalar(int k, int32_t* out) const {
  double v;
  if (!scalar(k, &v)) return false;
  *out = truncToInt32(v);
  return true;
}

bool Call::fitsInt32(int k, int64_t size, const char* what) const {
  if (size <= INT32_MAX) return true;
  return reject(k, "%" PRId64 " %s, at most %d supported", size, what, INT32_MAX);
}

bool Call::list(int k, ListLength rule, const char* what, List* out) const {
  const double* values;
  if (!dense(k, &values)) return false;
  const int64_t count = listLength(rows(k), cols(k), rule);
  if (!fitsInt32(k, count, what)) return false;
  out->values_ = values;
  out->count_ = count;
  return true;
}

bool Call::positions(int k, const List& list, int64_t limit) const {
  const int64_t i = firstBadPosition(list.values(), list.count(), limit);
  if (i < 0) return true;
  return reject(k, "element %" PRId64 " is %s, outside 1..%" PRId64, i + 1,
                formatValue(list.values()[i]).text, limit);
}

double* Call::output(int slot, int64_t m, int64_t n) {
  if (!wants(slot)) return nullptr;
  mxArray* a = mxCreateDoubleMatrix(static_cast<mwSize>(m), static_cast<mwSize>(n), mxREAL);
  plhs_[slot] = a;
  if (slot < 32) created_ |= 1u << slot;
  return mxGetPr(a);
}

double* Call::outputToFill(int slot, int64_t m, int64_t n) {
  if (!wants(slot)) return nullptr;
  mxArray* a = mxCreateUninitNumericMatrix(static_cast<mwSize>(m), static_cast<mwSize>(n),
                                           mxDOUBLE_CLASS, mxREAL);
  plhs_[slot] = a;
  if (slot < 32) created_ |= 1u << slot;
  double* data = mxGetPr(a);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  // Only the whole 2 MiB pages inside the array; advice, so failure is fine.
  const uintptr_t huge = uintptr_t(1) << 21;
  const uintptr_t first = (reinterpret_cast<uintptr_t>(data) + huge - 1) & ~(huge - 1);
  const uintptr_t end = reinterpret_cast<uintptr_t>(data + m * n) & ~(huge - 1);
  if (data && m * n >= (int64_t(4) << 20) / 8 && end > first)
    madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#endif
  return data;
}

bool Call::rowStruct(int slot, const char* const* names, int count, int64_t cols, double** data) {
  for (int f = 0; f < count; ++f) data[f] = nullptr;
  if (!wants(slot)) return false;
  // Held by the slot from the start, so a field that fails to allocate
  // leaves a struct that discardOutputs destroys with whatever it holds.
  mxArray* s = mxCreateStructMatrix(1, 1, count, const_cast<const char**>(names));
  plhs_[slot] = s;
  if (slot < 32) created_ |= 1u << slot;
  for (int f = 0; f < count; ++f) {
    mxArray* row = mxCreateDoubleMatrix(1, static_cast<mwSize>(cols), mxREAL);
    mxSetFieldByNumber(s, 0, f, row);
    data[f] = mxGetPr(row);
  }
  return true;
}

void Call::discardOutputs() {
  for (int k = 0; k < 32; ++k) {
    if (created_ & (1u << k)) {
      mxDestroyArray(plhs_[k]);
      plhs_[k] = nullptr;
    }
  }
  created_ = 0;
}

}  // namespace host
