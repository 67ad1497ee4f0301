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

ArgClass Call::argClass(int k) const {
  const mxArray* a = frame_.prhs[k];
  ArgClass c;
  c.numeric = mxIsNumeric(a);
  c.logical = mxIsLogical(a);
  c.isDouble = mxIsDouble(a);
  c.isUint64 = mxIsUint64(a);
  c.sparse = mxIsSparse(a);
  c.complex = mxIsComplex(a);
  std::snprintf(c.name, sizeof c.name, "%s", mxGetClassName(a));
  return c;
}

const double* Call::denseData(int k) { return mxGetPr(frame_.prhs[k]); }

void Call::bindSparse(int k, SparseArg* out) {
  const mxArray* a = frame_.prhs[k];
  out->Ir = reinterpret_cast<const Index*>(mxGetIr(a));
  out->Jc = reinterpret_cast<const Index*>(mxGetJc(a));
  out->values = mxIsDouble(a) && !mxIsComplex(a) ? mxGetPr(a) : nullptr;
  out->rows = rows(k);
  out->cols = cols(k);
}

const uint64_t* Call::uint64Data(int k) {
  return static_cast<const uint64_t*>(mxGetData(frame_.prhs[k]));
}

double Call::firstValue(int k) const { return mxGetScalar(frame_.prhs[k]); }

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
