#pragma once
// The one binding of gateways to the host. Every check prints at most one
// line, "ERROR: <module>: ...", and returns false, so a gateway reads:
// check, check, ..., allocate, create outputs, run, return. Nothing
// outside host/ prints.
//
// This header names no host: each host's implementation (mexhost.cpp on
// the MEX interface, octhost.cpp on Octave's own, and the tests' own host)
// defines Frame and the members that read arguments and make outputs;
// call.cpp holds the rest, every message included. host/module.hpp gives a
// gateway its entry point.
#include <cstdint>

#include "common/convert.hpp"
#include "common/scratch.hpp"
#include "host/format.hpp"

namespace host {

// Sparse indices as kernels take them; each host checks that its own index
// type has this width.
using Index = uint64_t;

struct SparseArg {
  const Index* Ir = nullptr;
  const Index* Jc = nullptr;
  const double* values = nullptr;
  int64_t rows = 0;
  int64_t cols = 0;
};

class Call;

// The host's view of one call (its arguments and output slots), defined by
// each host's implementation.
struct Frame;

// What a gateway file declares about its module: the name its messages
// carry, its argument names in order, and its body. An argument that is
// either of two things, told apart by whether it is stored full or sparse,
// is named by both, "full|sparse" (e.g. "U|D"); messages name the form passed.
struct Module {
  const char* name;
  const char* const* argNames;
  int argCount;
  void (*gateway)(Call&);
};

// How every message names an argument, "argument 3 (A2)".
struct ArgText {
  char text[96];
};

// What a host tells of an argument's class; call.cpp words every message
// about a class from it, the same for every host.
struct ArgClass {
  bool numeric = false;  // a numeric class, logical and char not included
  bool logical = false;
  bool isDouble = false;
  bool isUint64 = false;
  bool sparse = false;
  bool complex = false;
  char name[64] = "";  // the host's name of the class: "double", "int32", "cell", ...
};

// A list argument: its values and the count a gateway may read, which never
// exceeds the elements the array holds. Only Call::list makes one, so no
// gateway reads a list by a length its shape merely suggests.
class List {
 public:
  const double* values() const { return values_; }
  int64_t count() const { return count_; }

 private:
  friend class Call;

  const double* values_ = nullptr;
  int64_t count_ = 0;
};

class Call {
 public:
  Call(const Module& module, Frame& frame);

  int nrhs() const;
  // "argument <k+1> (<name>)", as every message names argument k: a
  // message about one argument that names another gives it this way.
  ArgText argument(int k) const;

  // The one path of every message; each prints one line and returns false.
  // "ERROR: <module>: argument <k+1> (<name>): <text>"
  bool reject(int k, const char* fmt, ...) const
#if defined(__GNUC__)
      __attribute__((format(printf, 3, 4)))
#endif
      ;
  // "ERROR: <module>: <text>", for a fault of the call as a whole.
  bool rejectCall(const char* fmt, ...) const
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;
  // A historical message, printed word for word.
  bool verbatim(const char* text) const;
  // The module's out-of-memory line.
  bool outOfMemory() const;
  // Replaces the default "ERROR: <module>: out of memory" line.
  void setOutOfMemoryMessage(const char* text) { oomMessage_ = text; }

  // At least `count` arguments were passed.
  bool needArgs(int count) const;

  // An optional argument is absent when it has no elements (whatever its
  // data pointer, which differs between hosts).
  bool present(int k) const { return numel(k) > 0; }
  // Rows, and columns as the product of every dimension after the first.
  int64_t rows(int k) const;
  int64_t cols(int k) const;
  int64_t numel(int k) const;
  // Argument k is stored sparse (any class), for an argument that takes either form.
  bool isSparse(int k) const;

  // The binders: each checks argument k and points the gateway at its data,
  // which the host holds (in the frame) until the call returns.
  // Argument k is a full (not sparse) real double array.
  bool dense(int k, const double** data);
  // Argument k is a sparse real double array.
  bool sparse(int k, SparseArg* out);
  // Argument k is sparse of any class; only its structure is bound.
  bool sparsePattern(int k, SparseArg* out);
  // Argument k is a real uint64 array.
  bool uint64s(int k, const uint64_t** data);
  // Argument k is a full real double list whose length `rule` takes from
  // its shape (a k x 0 list is empty), at most INT32_MAX `what`.
  bool list(int k, ListLength rule, const char* what, List* out);

  // Argument k has the given shape; a negative size matches anything.
  bool shape(int k, int64_t rows, int64_t cols) const;
  // Argument k holds at least `need` values, one per `per`.
  bool atLeast(int k, int64_t need, const char* per) const;
  // Argument k holds exactly `need` elements (`noun`), one per `per` when given.
  bool exactly(int k, int64_t need, const char* noun, const char* per) const;
  // Argument k is a non-empty real numeric or logical array; *out is its first element.
  bool scalar(int k, double* out) const;
  // As scalar, truncated toward zero to int32 (saturating, NaN to 0).
  bool intScalar(int k, int32_t* out) const;
  // As intScalar, and then 0 or 1.
  bool flag(int k, bool* out) const;
  // A size the kernels count in int32: at most INT32_MAX `what` (e.g. "rows").
  bool fitsInt32(int k, int64_t size, const char* what) const;
  // Every value of a list lies in 1..limit; names the first that does not.
  bool positions(int k, const List& list, int64_t limit) const;

  // Output slot k exists only for k < max(nargout, 1): the host makes no more.
  bool wants(int slot) const;
  // Creates a zero-filled real double output in slot k when the host made
  // that slot; returns its data, or null when the slot was not asked for.
  double* output(int slot, int64_t rows, int64_t cols);
  // As output, for a module that writes every element itself: not
  // zero-filled. On Linux a large output, filled here or not, asks for huge
  // pages before its first touch, which costs a page fault per 4 KiB otherwise.
  double* outputToFill(int slot, int64_t rows, int64_t cols);
  // When the host made slot k, an n x 1 output of the 0-based indices
  // idx[0..n) as the 1-based values the host's users index with.
  template <class Int>
  void indexOutput(int slot, const Int* idx, int64_t n) {
    if (double* out = outputToFill(slot, n, 1))
      for (int64_t i = 0; i < n; ++i) out[i] = static_cast<double>(idx[i]) + 1.0;
  }
  // Creates, when the host made slot k, a 1 x 1 struct whose `count` fields
  // `names` are zero-filled 1 x cols double rows, and points data[f] at
  // field f's values; returns false, setting data[f] to null, otherwise.
  bool rowStruct(int slot, const char* const* names, int count, int64_t cols, double** data);
  // Destroys the outputs this call created, for a failure after creation.
  void discardOutputs();

  // Runs the module's gateway on this call. A failure thrown from it (our
  // own code throws none, so it is the host failing to allocate an output)
  // destroys the outputs and becomes the module's out-of-memory line
  // instead of an error raised into the host.
  void serve();

 private:
  // What each host defines besides the members above that touch its
  // arrays: argument k's class, and its data once call.cpp has checked that
  // class. bindSparse binds any sparse class, its values only when it is
  // real double; firstValue reads a numeric or logical array as MEX's
  // mxGetScalar does.
  ArgClass argClass(int k) const;
  const double* denseData(int k);
  void bindSparse(int k, SparseArg* out);
  const uint64_t* uint64Data(int k);
  double firstValue(int k) const;
  // Prints one whole line (or a historical text) as the host prints.
  void print(const char* text) const;
  // Hands the outputs made to the host once the gateway has returned.
  void finish();

  bool realDoubleClass(int k, bool wantSparse) const;

  const Module& module_;
  Frame& frame_;
  const char* oomMessage_ = nullptr;
};

}  // namespace host
