// The binding, through the test host: every check of host::Call and the
// line it prints, once, so that module tests keep only their own rules.
#include <gtest/gtest.h>

#include <cmath>
#include <new>
#include <string>
#include <vector>

#include "host/format.hpp"
#include "testhost.hpp"

using host::TestArg;

TEST(FormatValue, NamesWhatIsNotFiniteAndKeepsEveryDigit) {
  EXPECT_STREQ(host::formatValue(std::nan("")).text, "NaN");
  EXPECT_STREQ(host::formatValue(INFINITY).text, "Inf");
  EXPECT_STREQ(host::formatValue(-INFINITY).text, "-Inf");
  EXPECT_STREQ(host::formatValue(521).text, "521");
  EXPECT_STREQ(host::formatValue(-3).text, "-3");
  EXPECT_STREQ(host::formatValue(0.1).text, "0.10000000000000001");
  // The longest text a double takes still fits.
  EXPECT_STREQ(host::formatValue(-2.2250738585072014e-308).text, "-2.2250738585072014e-308");
}

namespace {

const char* const kNames[] = {"A", "U|D", "list", "k"};
void noGateway(host::Call&) {}
const host::Module kModule{"mod", kNames, 4, noGateway};

// One call of kModule on `args`: the frame and the binding over it.
struct Fixture {
  host::Frame frame;
  host::Call call;
  explicit Fixture(std::vector<TestArg> args, int nargout = 1) : call(kModule, frame) {
    frame.args = std::move(args);
    frame.nargout = nargout;
  }
  // What the call printed since the last look.
  std::string printed() {
    std::string p = frame.printed;
    frame.printed.clear();
    return p;
  }
};

std::string line(const char* text) { return std::string("ERROR: mod: ") + text + "\n"; }

TestArg complexScalar() {
  TestArg a = TestArg::scalar(1);
  a.complex = true;
  return a;
}

// A 2 x 2 sparse matrix storing (1, 1) = 5 and (2, 2) = 7.
TestArg sparseDiag() { return TestArg::sparseColumns(2, 2, {0, 1, 2}, {0, 1}, {5, 7}); }

}  // namespace

TEST(CallMessages, NameArgumentsByNumberAndNameAndTheCallByModule) {
  Fixture f({TestArg::scalar(1), TestArg::scalar(2), sparseDiag(), TestArg::scalar(4),
             TestArg::scalar(5)});
  EXPECT_FALSE(f.call.reject(0, "found %d", 3));
  EXPECT_EQ(f.printed(), line("argument 1 (A): found 3"));
  // Two forms, named by the form passed: full U, sparse D.
  EXPECT_STREQ(f.call.argument(1).text, "argument 2 (U)");
  f.frame.args[1] = sparseDiag();
  EXPECT_STREQ(f.call.argument(1).text, "argument 2 (D)");
  // Past the declared names.
  EXPECT_STREQ(f.call.argument(4).text, "argument 5 (?)");
  EXPECT_FALSE(f.call.rejectCall("%s and %s disagree", f.call.argument(0).text,
                                 f.call.argument(3).text));
  EXPECT_EQ(f.printed(), line("argument 1 (A) and argument 4 (k) disagree"));
  EXPECT_FALSE(f.call.verbatim("Old words"));
  EXPECT_EQ(f.printed(), "Old words");
  EXPECT_FALSE(f.call.needArgs(6));
  EXPECT_EQ(f.printed(), line("expected 6 arguments, found 5"));
  EXPECT_TRUE(f.call.needArgs(5));
  EXPECT_FALSE(f.call.outOfMemory());
  EXPECT_EQ(f.printed(), line("out of memory"));
  f.call.setOutOfMemoryMessage("ERROR: Out of memory in mod\n");
  f.call.outOfMemory();
  EXPECT_EQ(f.printed(), "ERROR: Out of memory in mod\n");
}

TEST(CallClasses, EachBinderTakesItsClassAndNamesAnyOther) {
  TestArg cell = TestArg::ofClass("cell", 0);
  TestArg sparseComplex = sparseDiag();
  sparseComplex.complex = true;
  TestArg sparseLogical = sparseDiag();
  sparseLogical.className = "logical";
  Fixture f({TestArg::full(1, 2, {3, 4}), sparseDiag(), complexScalar(), cell,
             TestArg::ofClass("int32", 7), TestArg::ofClass("uint64", 9), sparseLogical,
             sparseComplex});
  const double* d;
  ASSERT_TRUE(f.call.dense(0, &d));
  EXPECT_EQ(d[1], 4);
  EXPECT_FALSE(f.call.dense(1, &d));
  EXPECT_EQ(f.printed(), line("argument 2 (D): expected a full real double array, found sparse double"));
  EXPECT_FALSE(f.call.dense(2, &d));
  EXPECT_EQ(f.printed(), line("argument 3 (list): expected a full real double array, found complex double"));
  EXPECT_FALSE(f.call.dense(4, &d));
  EXPECT_EQ(f.printed(), line("argument 5 (?): expected a full real double array, found int32"));

  host::SparseArg s;
  ASSERT_TRUE(f.call.sparse(1, &s));
  EXPECT_EQ(s.values[1], 7);
  EXPECT_EQ(s.Jc[2], 2u);
  EXPECT_FALSE(f.call.sparse(0, &s));
  EXPECT_EQ(f.printed(), line("argument 1 (A): expected a sparse real double array, found double"));
  EXPECT_FALSE(f.call.sparse(6, &s));
  EXPECT_EQ(f.printed(), line("argument 7 (?): expected a sparse real double array, found sparse logical"));
  EXPECT_FALSE(f.call.sparse(7, &s));
  EXPECT_EQ(f.printed(), line("argument 8 (?): expected a sparse real double array, found sparse complex double"));
  // A pattern is any sparse class, its values never bound.
  ASSERT_TRUE(f.call.sparsePattern(6, &s) && f.call.sparsePattern(7, &s));
  EXPECT_EQ(s.values, nullptr);
  EXPECT_EQ(s.Ir[1], 1u);
  EXPECT_FALSE(f.call.sparsePattern(0, &s));
  EXPECT_EQ(f.printed(), line("argument 1 (A): expected a sparse array, found double"));

  const uint64_t* u;
  ASSERT_TRUE(f.call.uint64s(5, &u));
  EXPECT_EQ(u[0], 9u);
  EXPECT_FALSE(f.call.uint64s(4, &u));
  EXPECT_EQ(f.printed(), line("argument 5 (?): expected a real uint64 array, found int32"));

  // A real number is numeric or logical, real, not empty: its first element.
  double v;
  ASSERT_TRUE(f.call.scalar(0, &v) && f.call.scalar(4, &v));
  EXPECT_EQ(v, 7);
  ASSERT_TRUE(f.call.scalar(1, &v));
  EXPECT_EQ(v, 5);  // a sparse array's first stored value
  f.frame.args[6] = TestArg::ofClass("logical", 1);
  ASSERT_TRUE(f.call.scalar(6, &v));
  EXPECT_EQ(v, 1);
  EXPECT_FALSE(f.call.scalar(2, &v));
  EXPECT_EQ(f.printed(), line("argument 3 (list): expected a real number, found complex double"));
  EXPECT_FALSE(f.call.scalar(3, &v));
  EXPECT_EQ(f.printed(), line("argument 4 (k): expected a real number, found cell"));
  f.frame.args[0] = TestArg::full(0, 3, {});
  EXPECT_FALSE(f.call.scalar(0, &v));
  EXPECT_EQ(f.printed(), line("argument 1 (A): expected a real number, found an empty array"));
}

TEST(CallSizes, ShapesCountsAndInt32LimitsNameWhatWasExpected) {
  Fixture f({TestArg::full(2, 3, std::vector<double>(6, 0.0))});
  EXPECT_TRUE(f.call.shape(0, 2, 3) && f.call.shape(0, -1, 3) && f.call.shape(0, 2, -1));
  EXPECT_FALSE(f.call.shape(0, 3, 3));
  EXPECT_EQ(f.printed(), line("argument 1 (A): expected 3 x 3, found 2 x 3"));
  EXPECT_FALSE(f.call.shape(0, 4, -1));
  EXPECT_EQ(f.printed(), line("argument 1 (A): expected 4 rows, found 2 x 3"));
  EXPECT_FALSE(f.call.shape(0, -1, 2));
  EXPECT_EQ(f.printed(), line("argument 1 (A): expected 2 columns, found 2 x 3"));
  EXPECT_TRUE(f.call.atLeast(0, 6, "entry"));
  EXPECT_FALSE(f.call.atLeast(0, 7, "entry"));
  EXPECT_EQ(f.printed(), line("argument 1 (A): expected 7 values, one per entry, found 6"));
  EXPECT_TRUE(f.call.exactly(0, 6, "elements", nullptr));
  EXPECT_FALSE(f.call.exactly(0, 5, "elements", nullptr));
  EXPECT_EQ(f.printed(), line("argument 1 (A): expected 5 elements, found 6"));
  EXPECT_FALSE(f.call.exactly(0, 5, "elements", "column of W"));
  EXPECT_EQ(f.printed(), line("argument 1 (A): expected 5 elements, one per column of W, found 6"));
  EXPECT_TRUE(f.call.fitsInt32(0, INT32_MAX, "rows"));
  EXPECT_FALSE(f.call.fitsInt32(0, int64_t{INT32_MAX} + 1, "rows"));
  EXPECT_EQ(f.printed(), line("argument 1 (A): 2147483648 rows, at most 2147483647 supported"));
}

TEST(CallNumbers, CountsTruncateAndFlagsAreZeroOrOne) {
  Fixture f({TestArg::scalar(2.9), TestArg::scalar(-1e300), TestArg::scalar(0.5),
             TestArg::scalar(1), TestArg::scalar(2), TestArg::scalar(-1),
             TestArg::ofClass("logical", 1)});
  int32_t n;
  ASSERT_TRUE(f.call.intScalar(0, &n));
  EXPECT_EQ(n, 2);
  ASSERT_TRUE(f.call.intScalar(1, &n));
  EXPECT_EQ(n, INT32_MIN);
  bool on = true;
  ASSERT_TRUE(f.call.flag(2, &on));
  EXPECT_FALSE(on);
  ASSERT_TRUE(f.call.flag(3, &on) && on);
  on = false;
  ASSERT_TRUE(f.call.flag(6, &on) && on);
  EXPECT_FALSE(f.call.flag(4, &on));
  EXPECT_EQ(f.printed(), line("argument 5 (?): expected 0 or 1, found 2"));
  EXPECT_FALSE(f.call.flag(5, &on));
  EXPECT_EQ(f.printed(), line("argument 6 (?): expected 0 or 1, found -1"));
  EXPECT_FALSE(f.call.flag(0, &on));
  EXPECT_EQ(f.printed(), line("argument 1 (A): expected 0 or 1, found 2.8999999999999999"));
}

TEST(CallLists, LengthComesFromTheShapeAndPositionsFromTheLimit) {
  TestArg huge = TestArg::full(int64_t{INT32_MAX} + 1, 1, {});
  Fixture f({TestArg::full(2, 3, {1, 2, 3, 4, 5, 6}), TestArg::full(3, 0, {}), huge,
             TestArg::full(1, 3, {2, 7.5, NAN})});
  host::List l;
  ASSERT_TRUE(f.call.list(0, ListLength::rows, "entries", &l));
  EXPECT_EQ(l.count(), 2);
  EXPECT_EQ(l.values()[1], 2);
  ASSERT_TRUE(f.call.list(0, ListLength::elements, "entries", &l));
  EXPECT_EQ(l.count(), 6);
  ASSERT_TRUE(f.call.list(1, ListLength::rows, "entries", &l));
  EXPECT_EQ(l.count(), 0);  // rows without elements
  EXPECT_FALSE(f.call.list(2, ListLength::rows, "entries", &l));
  EXPECT_EQ(f.printed(), line("argument 3 (list): 2147483648 entries, at most 2147483647 supported"));

  ASSERT_TRUE(f.call.list(3, ListLength::longerSide, "positions", &l));
  EXPECT_FALSE(f.call.positions(3, l, 6));
  EXPECT_EQ(f.printed(), line("argument 4 (k): element 2 is 7.5, outside 1..6"));
  // A fraction truncates: 7.5 is 7, inside 1..7; NaN never is.
  EXPECT_FALSE(f.call.positions(3, l, 7));
  EXPECT_EQ(f.printed(), line("argument 4 (k): element 3 is NaN, outside 1..7"));
}

TEST(CallOutputs, OnlyTheSlotsAskedForAreMade) {
  Fixture f({}, 0);
  // No output asked for still makes the first: Octave's ans.
  EXPECT_TRUE(f.call.wants(0));
  EXPECT_FALSE(f.call.wants(1));
  EXPECT_EQ(f.call.output(1, 2, 2), nullptr);
  double* fields[2];
  const char* const names[] = {"passes", "relres"};
  EXPECT_FALSE(f.call.rowStruct(1, names, 2, 3, fields));
  EXPECT_EQ(fields[0], nullptr);

  Fixture g({}, 3);
  double* zero = g.call.output(0, 2, 1);
  ASSERT_NE(zero, nullptr);
  EXPECT_EQ(g.frame.made[0].values, std::vector<double>({0.0, 0.0}));
  const int32_t rows[] = {0, 4, 2};
  g.call.indexOutput(1, rows, 3);
  EXPECT_EQ(g.frame.made[1].values, std::vector<double>({1, 5, 3}));
  ASSERT_TRUE(g.call.rowStruct(2, names, 2, 3, fields));
  fields[1][2] = 0.5;
  EXPECT_EQ(g.frame.made[2].fieldNames, std::vector<std::string>({"passes", "relres"}));
  EXPECT_EQ(g.frame.made[2].fields[1], std::vector<double>({0, 0, 0.5}));
  g.call.discardOutputs();
  EXPECT_TRUE(g.frame.made.empty());
}

namespace {

// Makes its first output, then asks for a second that the host may refuse.
void twoOutputs(host::Call& call) {
  call.setOutOfMemoryMessage("ERROR: Out of memory in gramsel\n");
  call.output(0, 1, 1);
  call.output(1, 1, 1);
}

}  // namespace

TEST(CallServe, AHostFailureDestroysTheOutputsAndPrintsTheOutOfMemoryLine) {
  const host::Module module{"mod", kNames, 4, twoOutputs};
  host::Frame frame;
  frame.nargout = 2;
  host::serveTest(module, frame);
  EXPECT_EQ(frame.made.size(), 2u);
  EXPECT_TRUE(frame.printed.empty());

  host::Frame failing;
  failing.nargout = 2;
  failing.outputsBeforeFailure = 1;
  host::serveTest(module, failing);
  EXPECT_TRUE(failing.made.empty());
  EXPECT_EQ(failing.printed, "ERROR: Out of memory in gramsel\n");
}
