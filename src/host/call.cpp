#include "host/call.hpp"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace host {

Call::Call(const Module& module, Frame& frame) : module_(module), frame_(frame) {}

void Call::serve() {
  try {
    module_.gateway(*this);
    finish();
  } catch (...) {
    discardOutputs();
    try {
      outOfMemory();
    } catch (...) {
      // Not even the line could be printed; the call still ends without output.
    }
  }
}

ArgText Call::argument(int k) const {
  const char* name = k < module_.argCount ? module_.argNames[k] : "?";
  int length = static_cast<int>(std::strlen(name));
  if (const char* bar = std::strchr(name, '|')) {
    const bool sparseForm = k < nrhs() && isSparse(k);
    length = sparseForm ? length - static_cast<int>(bar + 1 - name) : static_cast<int>(bar - name);
    if (sparseForm) name = bar + 1;
  }
  ArgText out;
  std::snprintf(out.text, sizeof out.text, "argument %d (%.*s)", k + 1, length, name);
  return out;
}

bool Call::reject(int k, const char* fmt, ...) const {
  char text[512];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(text, sizeof text, fmt, ap);
  va_end(ap);
  char line[768];
  std::snprintf(line, sizeof line, "ERROR: %s: %s: %s\n", module_.name, argument(k).text, text);
  print(line);
  return false;
}

bool Call::rejectCall(const char* fmt, ...) const {
  char text[512];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(text, sizeof text, fmt, ap);
  va_end(ap);
  char line[768];
  std::snprintf(line, sizeof line, "ERROR: %s: %s\n", module_.name, text);
  print(line);
  return false;
}

bool Call::verbatim(const char* text) const {
  print(text);
  return false;
}

bool Call::outOfMemory() const {
  if (oomMessage_) return verbatim(oomMessage_);
  return rejectCall("out of memory");
}

bool Call::needArgs(int count) const {
  if (nrhs() >= count) return true;
  return rejectCall("expected %d arguments, found %d", count, nrhs());
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

namespace {

// "sparse complex double": how messages show what was passed.
struct ClassText {
  char text[96];
};

ClassText describe(const ArgClass& c) {
  ClassText out;
  std::snprintf(out.text, sizeof out.text, "%s%s%s", c.sparse ? "sparse " : "",
                c.complex ? "complex " : "", c.name);
  return out;
}

}  // namespace

bool Call::realDoubleClass(int k, bool wantSparse) const {
  const ArgClass c = argClass(k);
  if (c.isDouble && !c.complex && c.sparse == wantSparse) return true;
  return reject(k, "expected a %s real double array, found %s", wantSparse ? "sparse" : "full",
                describe(c).text);
}

bool Call::dense(int k, const double** data) {
  if (!realDoubleClass(k, false)) return false;
  *data = denseData(k);
  return true;
}

bool Call::sparse(int k, SparseArg* out) {
  if (!realDoubleClass(k, true)) return false;
  bindSparse(k, out);
  return true;
}

bool Call::sparsePattern(int k, SparseArg* out) {
  const ArgClass c = argClass(k);
  if (!c.sparse) return reject(k, "expected a sparse array, found %s", describe(c).text);
  bindSparse(k, out);
  out->values = nullptr;
  return true;
}

bool Call::uint64s(int k, const uint64_t** data) {
  const ArgClass c = argClass(k);
  if (!c.isUint64 || c.complex)
    return reject(k, "expected a real uint64 array, found %s", describe(c).text);
  *data = uint64Data(k);
  return true;
}

bool Call::scalar(int k, double* out) const {
  const ArgClass c = argClass(k);
  if (!(c.numeric || c.logical) || c.complex)
    return reject(k, "expected a real number, found %s", describe(c).text);
  if (numel(k) == 0) return reject(k, "expected a real number, found an empty array");
  *out = firstValue(k);
  return true;
}

bool Call::intScalar(int k, int32_t* out) const {
  double v;
  if (!scalar(k, &v)) return false;
  *out = truncToInt32(v);
  return true;
}

bool Call::flag(int k, bool* out) const {
  double v;
  if (!scalar(k, &v)) return false;
  const int32_t t = truncToInt32(v);
  if (t != 0 && t != 1) return reject(k, "expected 0 or 1, found %s", formatValue(v).text);
  *out = t == 1;
  return true;
}

bool Call::fitsInt32(int k, int64_t size, const char* what) const {
  if (size <= INT32_MAX) return true;
  return reject(k, "%" PRId64 " %s, at most %d supported", size, what, INT32_MAX);
}

bool Call::list(int k, ListLength rule, const char* what, List* out) {
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

}  // namespace host
