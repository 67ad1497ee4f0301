// host::Call on Octave's own interface: arguments are read in place through
// typed arrays that share their storage, and outputs are Octave arrays the
// kernels write into, returned as they are.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>
#include <string>
#include <utility>
#include <vector>

#include <octave/CSparse.h>
#include <octave/boolSparse.h>
#include <octave/dSparse.h>
#include <octave/oct-map.h>
#include <octave/uint64NDArray.h>

#include "common/pages.hpp"
#include "host/module.hpp"

static_assert(sizeof(octave_idx_type) == sizeof(host::Index), "host sparse indices must be 64-bit");
static_assert(sizeof(octave_uint64) == sizeof(uint64_t), "octave_uint64 must be a plain uint64");

namespace host {

struct Frame {
  Frame(const octave_value_list& a, int n) : args(a), nargout(n) {}

  const octave_value_list& args;
  int nargout;
  // The typed arrays whose data the kernels read, held for the call: each
  // shares the argument's storage when the argument is stored as that type
  // (the usual case), or is the one conversion the host makes otherwise (a
  // range, a diagonal matrix).
  std::vector<NDArray> dense;
  std::vector<SparseMatrix> sparse;
  std::vector<SparseBoolMatrix> sparseBool;
  std::vector<SparseComplexMatrix> sparseComplex;
  std::vector<uint64NDArray> uint64s;
  // Outputs by slot, made into values only after the kernels have run (a
  // 1 x 1 value would otherwise become a scalar the kernels cannot reach).
  // Grown inside the call, where a failure to allocate is reported.
  struct Output {
    bool made = false;
    NDArray array;
    std::vector<std::string> fieldNames;  // a struct output when not empty
    std::vector<NDArray> fields;
  };
  std::vector<Output> outputs;
  octave_value_list results;
};

octave_value_list serveOct(const Module& module, const octave_value_list& args, int nargout) {
  // Neither the frame nor the move of its results allocates, so nothing
  // can be thrown outside Call::serve.
  Frame frame(args, nargout);
  Call call(module, frame);
  call.serve();
  return std::move(frame.results);
}

std::string usage(const Module& module) {
  std::string text = std::string("-- ") + module.name + " (";
  for (int k = 0; k < module.argCount; ++k) {
    if (k > 0) text += ", ";
    text += module.argNames[k];
  }
  return text + ")\n\nA compiled module of sparsekernels; README.md describes its arguments.\n";
}

namespace {

// The allocator Octave's double arrays free their storage with (a
// polymorphic one when Octave was built with it, std::allocator otherwise).
template <class A>
struct AllocatorOf;
template <class T, class Alloc>
struct AllocatorOf<Array<T, Alloc>> {
  using type = Alloc;
};
using DoubleAlloc = AllocatorOf<Array<double>>::type;
using DoubleAllocTraits = std::allocator_traits<DoubleAlloc>;

// Storage for count doubles that DoubleAlloc frees, or null when there is
// none. std::allocator's storage comes from operator new, whose nothrow form
// it may free: a failure is then a null pointer, where a sanitizer's
// operator new would end the process instead of throwing.
double* allocateDoubles(DoubleAlloc& alloc, std::size_t count) {
  if constexpr (std::is_same_v<DoubleAlloc, std::allocator<double>>) {
    (void)alloc;
    if (count > SIZE_MAX / sizeof(double)) return nullptr;
    return static_cast<double*>(::operator new(sizeof(double) * count, std::nothrow));
  } else {
    return DoubleAllocTraits::allocate(alloc, count);
  }
}

// A fresh rows x cols double array the kernels write into, uninitialised:
// storage from that allocator, advised toward huge pages before its first
// touch, and adopted by the array without a copy (Octave's own constructors
// would zero it first).
NDArray freshArray(int64_t rows, int64_t cols, double** data) {
  const dim_vector dv(rows, cols);
  const std::size_t count = static_cast<std::size_t>(dv.safe_numel());
  DoubleAlloc alloc;
  double* p = allocateDoubles(alloc, count);
  if (!p) throw std::bad_alloc();  // Call::serve reports it
  adviseHugePages(p, sizeof(double) * count);
  struct Guard {
    DoubleAlloc& alloc;
    double* p;
    std::size_t count;
    ~Guard() {
      if (p) DoubleAllocTraits::deallocate(alloc, p, count);
    }
  } guard{alloc, p, count};
  NDArray array(Array<double>(p, dv, alloc));
  guard.p = nullptr;
  *data = p;
  return array;
}

// The slot's record, the list grown to reach it.
Frame::Output& slotRecord(Frame& frame, int slot) {
  if (frame.outputs.size() <= static_cast<std::size_t>(slot)) frame.outputs.resize(slot + 1);
  return frame.outputs[slot];
}

}  // namespace

void Call::print(const char* text) const { octave_stdout << text; }

void Call::finish() {
  octave_value_list out;
  for (std::size_t slot = 0; slot < frame_.outputs.size(); ++slot) {
    Frame::Output& o = frame_.outputs[slot];
    if (!o.made) continue;
    if (o.fieldNames.empty()) {
      out(slot) = octave_value(o.array);
    } else {
      octave_scalar_map s;
      for (std::size_t f = 0; f < o.fields.size(); ++f)
        s.assign(o.fieldNames[f], octave_value(o.fields[f]));
      out(slot) = octave_value(s);
    }
  }
  frame_.results = out;
  frame_.outputs.clear();
}

int Call::nrhs() const { return static_cast<int>(frame_.args.length()); }
int64_t Call::rows(int k) const { return frame_.args(k).rows(); }
int64_t Call::cols(int k) const {
  const dim_vector dv = frame_.args(k).dims();
  int64_t n = 1;
  for (int d = 1; d < dv.ndims(); ++d) n *= dv(d);
  return n;
}
int64_t Call::numel(int k) const { return frame_.args(k).numel(); }
bool Call::isSparse(int k) const { return frame_.args(k).issparse(); }
bool Call::wants(int slot) const { return slot < (frame_.nargout > 1 ? frame_.nargout : 1); }

ArgClass Call::argClass(int k) const {
  const octave_value& v = frame_.args(k);
  ArgClass c;
  c.numeric = v.isnumeric();
  c.logical = v.islogical();
  c.isDouble = v.is_double_type();
  c.isUint64 = v.is_uint64_type();
  c.sparse = v.issparse();
  c.complex = v.iscomplex();
  std::snprintf(c.name, sizeof c.name, "%s", v.class_name().c_str());
  return c;
}

const double* Call::denseData(int k) {
  frame_.dense.push_back(frame_.args(k).array_value());
  return std::as_const(frame_.dense.back()).data();
}

namespace {

// The structure of a held sparse array, read through its const accessors
// (the others would unshare it, copying the argument).
template <class S>
void bindStructure(const S& s, SparseArg* out) {
  out->Ir = reinterpret_cast<const Index*>(s.ridx());
  out->Jc = reinterpret_cast<const Index*>(s.cidx());
  out->rows = s.rows();
  out->cols = s.cols();
}

}  // namespace

void Call::bindSparse(int k, SparseArg* out) {
  const octave_value& v = frame_.args(k);
  out->values = nullptr;
  if (v.islogical()) {
    frame_.sparseBool.push_back(v.sparse_bool_matrix_value());
    bindStructure(std::as_const(frame_.sparseBool.back()), out);
  } else if (v.iscomplex()) {
    frame_.sparseComplex.push_back(v.sparse_complex_matrix_value());
    bindStructure(std::as_const(frame_.sparseComplex.back()), out);
  } else {
    frame_.sparse.push_back(v.sparse_matrix_value());
    const SparseMatrix& m = frame_.sparse.back();
    bindStructure(m, out);
    out->values = m.data();
  }
}

const uint64_t* Call::uint64Data(int k) {
  frame_.uint64s.push_back(frame_.args(k).uint64_array_value());
  return reinterpret_cast<const uint64_t*>(std::as_const(frame_.uint64s.back()).data());
}

// As the MEX interface reads a scalar: a sparse array's first stored value
// (0 when it stores none), any other array's first element.
double Call::firstValue(int k) const {
  const octave_value& v = frame_.args(k);
  if (v.issparse() && v.islogical()) {
    const SparseBoolMatrix s = v.sparse_bool_matrix_value();
    return s.nnz() > 0 ? s.data()[0] : 0.0;
  }
  if (v.issparse()) {
    const SparseMatrix s = v.sparse_matrix_value();
    return s.nnz() > 0 ? s.data()[0] : 0.0;
  }
  return v.scalar_value(true);
}

double* Call::output(int slot, int64_t m, int64_t n) {
  double* data = outputToFill(slot, m, n);
  if (data) std::memset(data, 0, sizeof(double) * static_cast<std::size_t>(m * n));
  return data;
}

double* Call::outputToFill(int slot, int64_t m, int64_t n) {
  if (!wants(slot)) return nullptr;
  Frame::Output& o = slotRecord(frame_, slot);
  double* data;
  o = Frame::Output();
  o.array = freshArray(m, n, &data);
  o.made = true;
  return data;
}

bool Call::rowStruct(int slot, const char* const* names, int count, int64_t cols, double** data) {
  for (int f = 0; f < count; ++f) data[f] = nullptr;
  if (!wants(slot)) return false;
  Frame::Output& o = slotRecord(frame_, slot);
  o = Frame::Output();
  o.made = true;
  o.fieldNames.assign(names, names + count);
  o.fields.resize(count);
  for (int f = 0; f < count; ++f) {
    o.fields[f] = NDArray(dim_vector(1, cols), 0.0);
    data[f] = o.fields[f].fortran_vec();
  }
  return true;
}

void Call::discardOutputs() { frame_.outputs.clear(); }

}  // namespace host
