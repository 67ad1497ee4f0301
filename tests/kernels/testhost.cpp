// host::Call on plain arrays; see testhost.hpp.
#include "testhost.hpp"

#include <cmath>
#include <cstdio>
#include <new>

namespace host {

TestArg TestArg::full(int64_t rows, int64_t cols, std::vector<double> values) {
  TestArg a;
  a.rows = rows;
  a.cols = cols;
  a.values = std::move(values);
  return a;
}

TestArg TestArg::ofClass(const char* name, double v) {
  TestArg a = scalar(v);
  a.className = name;
  if (a.className == "uint64") a.u64 = {static_cast<uint64_t>(v)};
  return a;
}

TestArg TestArg::sparseColumns(int64_t rows, int64_t cols, std::vector<Index> Jc,
                               std::vector<Index> Ir, std::vector<double> values) {
  TestArg a;
  a.sparse = true;
  a.rows = rows;
  a.cols = cols;
  a.Jc = std::move(Jc);
  a.Ir = std::move(Ir);
  a.values = std::move(values);
  return a;
}

void serveTest(const Module& module, Frame& frame) {
  Call call(module, frame);
  call.serve();
}

namespace {

bool isNumericClass(const std::string& c) {
  for (const char* n : {"double", "single", "int8", "uint8", "int16", "uint16", "int32", "uint32",
                        "int64", "uint64"})
    if (c == n) return true;
  return false;
}

}  // namespace

void Call::print(const char* text) const { frame_.printed += text; }

void Call::finish() {}

int Call::nrhs() const { return static_cast<int>(frame_.args.size()); }
int64_t Call::rows(int k) const { return frame_.args[k].rows; }
int64_t Call::cols(int k) const { return frame_.args[k].cols; }
int64_t Call::numel(int k) const { return frame_.args[k].rows * frame_.args[k].cols; }
bool Call::isSparse(int k) const { return frame_.args[k].sparse; }
bool Call::wants(int slot) const { return slot < (frame_.nargout > 1 ? frame_.nargout : 1); }

ArgClass Call::argClass(int k) const {
  const TestArg& a = frame_.args[k];
  ArgClass c;
  c.numeric = isNumericClass(a.className);
  c.logical = a.className == "logical";
  c.isDouble = a.className == "double";
  c.isUint64 = a.className == "uint64";
  c.sparse = a.sparse;
  c.complex = a.complex;
  std::snprintf(c.name, sizeof c.name, "%s", a.className.c_str());
  return c;
}

const double* Call::denseData(int k) { return frame_.args[k].values.data(); }

void Call::bindSparse(int k, SparseArg* out) {
  const TestArg& a = frame_.args[k];
  out->Ir = a.Ir.data();
  out->Jc = a.Jc.data();
  out->values = a.className == "double" && !a.complex ? a.values.data() : nullptr;
  out->rows = a.rows;
  out->cols = a.cols;
}

const uint64_t* Call::uint64Data(int k) { return frame_.args[k].u64.data(); }

double Call::firstValue(int k) const {
  const TestArg& a = frame_.args[k];
  return a.values.empty() ? 0.0 : a.values[0];
}

namespace {

// The slot's record, made; throws as a host does when the output cannot be had.
TestOutput& make(Frame& f, int slot) {
  if (f.outputsBeforeFailure == 0) throw std::bad_alloc();
  if (f.outputsBeforeFailure > 0) --f.outputsBeforeFailure;
  if (f.made.size() <= static_cast<std::size_t>(slot)) {
    f.made.resize(slot + 1);
    f.held.resize(slot + 1);
  }
  f.held[slot] = true;
  f.made[slot] = TestOutput();
  return f.made[slot];
}

}  // namespace

double* Call::output(int slot, int64_t m, int64_t n) {
  double* data = outputToFill(slot, m, n);
  for (int64_t i = 0; data && i < m * n; ++i) data[i] = 0.0;
  return data;
}

// Unfilled elements are NaN, so that a test sees what was not written.
double* Call::outputToFill(int slot, int64_t m, int64_t n) {
  if (!wants(slot)) return nullptr;
  TestOutput& o = make(frame_, slot);
  o.rows = m;
  o.cols = n;
  o.values.assign(m * n, std::nan(""));
  return o.values.data();
}

bool Call::rowStruct(int slot, const char* const* names, int count, int64_t cols, double** data) {
  for (int f = 0; f < count; ++f) data[f] = nullptr;
  if (!wants(slot)) return false;
  TestOutput& o = make(frame_, slot);
  o.rows = o.cols = 1;
  o.fieldNames.assign(names, names + count);
  o.fields.assign(count, std::vector<double>(cols, 0.0));
  for (int f = 0; f < count; ++f) data[f] = o.fields[f].data();
  return true;
}

void Call::discardOutputs() {
  frame_.made.clear();
  frame_.held.clear();
}

}  // namespace host
