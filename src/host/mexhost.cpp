// host::Call on the MEX interface (Octave's or MATLAB's).
#include "host/module.hpp"

#include <cstdio>

#include "common/pages.hpp"

static_assert(sizeof(mwIndex) == sizeof(host::Index), "host sparse indices must be 64-bit");

namespace host {

struct Frame {
  int nlhs;
  mxArray** plhs;
  int nrhs;
  const mxArray** prhs;
  unsigned created = 0;  // bit k: slot k holds an output of this call
};

void serveMex(const Module& module, int nlhs, mxArray** plhs, int nrhs, const mxArray** prhs) {
  Frame frame{nlhs, plhs, nrhs, prhs};
  Call call(module, frame);
  call.serve();
}

namespace {

void describeClass(const mxArray* a, char* buf, std::size_t size) {
  std::snprintf(buf, size, "%s%s%s", mxIsSparse(a) ? "sparse " : "",
                mxIsComplex(a) ? "complex " : "", mxGetClassName(a));
}

// Records that slot k holds an output of this call.
void hold(Frame& f, int slot, mxArray* a) {
  f.plhs[slot] = a;
  if (slot < 32) f.created |= 1u << slot;
}

}  // namespace

void Call::print(const char* text) const { mexPrintf("%s", text); }

void Call::finish() {}

int Call::nrhs() const { return frame_.nrhs; }
int64_t Call::rows(int k) const { return static_cast<int64_t>(mxGetM(frame_.prhs[k])); }
int64_t Call::cols(int k) const { return static_cast<int64_t>(mxGetN(frame_.prhs[k])); }
int64_t Call::numel(int k) const {
  return static_cast<int64_t>(mxGetNumberOfElements(frame_.prhs[k]));
}
bool Call::isSparse(int k) const { return mxIsSparse(frame_.prhs[k]); }
bool Call::wants(int slot) const { return slot < (frame_.nlhs > 1 ? frame_.nlhs : 1); }

bool Call::realDoubleClass(int k, bool wantSparse) const {
  const mxArray* a = frame_.prhs[k];
  if (mxIsDouble(a) && !mxIsComplex(a) && (mxIsSparse(a) != 0) == wantSparse) return true;
  char found[96];
  describeClass(a, found, sizeof found);
  return reject(k, "expected a %s real double array, found %s", wantSparse ? "sparse" : "full",
                found);
}

bool Call::dense(int k, const double** data) const {
  if (!realDoubleClass(k, false)) return false;
  *data = mxGetPr(frame_.prhs[k]);
  return true;
}

bool Call::sparse(int k, SparseArg* out) const {
  if (!realDoubleClass(k, true)) return false;
  const mxArray* a = frame_.prhs[k];
  out->Ir = reinterpret_cast<const Index*>(mxGetIr(a));
  out->Jc = reinterpret_cast<const Index*>(mxGetJc(a));
  out->values = mxGetPr(a);
  out->rows = rows(k);
  out->cols = cols(k);
  return true;
}

bool Call::sparsePattern(int k, SparseArg* out) const {
  const mxArray* a = frame_.prhs[k];
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
  const mxArray* a = frame_.prhs[k];
  if (!mxIsUint64(a) || mxIsComplex(a))
    return reject(k, "expected a real uint64 array, found %s%s", mxIsComplex(a) ? "complex " : "",
                  mxGetClassName(a));
  *data = static_cast<const uint64_t*>(mxGetData(a));
  return true;
}

bool Call::scalar(int k, double* out) const {
  const mxArray* a = frame_.prhs[k];
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

double* Call::output(int slot, int64_t m, int64_t n) {
  if (!wants(slot)) return nullptr;
  mxArray* a = mxCreateDoubleMatrix(static_cast<mwSize>(m), static_cast<mwSize>(n), mxREAL);
  hold(frame_, slot, a);
  return mxGetPr(a);
}

double* Call::outputToFill(int slot, int64_t m, int64_t n) {
  if (!wants(slot)) return nullptr;
  mxArray* a = mxCreateUninitNumericMatrix(static_cast<mwSize>(m), static_cast<mwSize>(n),
                                           mxDOUBLE_CLASS, mxREAL);
  hold(frame_, slot, a);
  double* data = mxGetPr(a);
  adviseHugePages(data, sizeof(double) * static_cast<std::size_t>(m * n));
  return data;
}

bool Call::rowStruct(int slot, const char* const* names, int count, int64_t cols, double** data) {
  for (int f = 0; f < count; ++f) data[f] = nullptr;
  if (!wants(slot)) return false;
  // Held by the slot from the start, so a field that fails to allocate
  // leaves a struct that discardOutputs destroys with whatever it holds.
  mxArray* s = mxCreateStructMatrix(1, 1, count, const_cast<const char**>(names));
  hold(frame_, slot, s);
  for (int f = 0; f < count; ++f) {
    mxArray* row = mxCreateDoubleMatrix(1, static_cast<mwSize>(cols), mxREAL);
    mxSetFieldByNumber(s, 0, f, row);
    data[f] = mxGetPr(row);
  }
  return true;
}

void Call::discardOutputs() {
  for (int k = 0; k < 32; ++k) {
    if (frame_.created & (1u << k)) {
      mxDestroyArray(frame_.plhs[k]);
      frame_.plhs[k] = nullptr;
    }
  }
  frame_.created = 0;
}

}  // namespace host
