#pragma once
// A third host for host::Call, for tests only: arguments are plain arrays
// with a class name, outputs plain arrays, printed lines a string. Linked
// in place of mexhost.cpp or octhost.cpp, it runs every check and message
// of call.cpp as the real hosts do.
#include <cstdint>
#include <string>
#include <vector>

#include "host/call.hpp"

namespace host {

struct TestArg {
  std::string className = "double";
  bool sparse = false;
  bool complex = false;
  int64_t rows = 0, cols = 0;
  std::vector<double> values;  // full: rows * cols; sparse: the stored values
  std::vector<Index> Ir, Jc;   // sparse only
  std::vector<uint64_t> u64;   // uint64 only

  // A full real double array, column-major.
  static TestArg full(int64_t rows, int64_t cols, std::vector<double> values);
  static TestArg scalar(double v) { return full(1, 1, {v}); }
  // A 1 x 1 array of another class (int32, logical, char, cell, ...).
  static TestArg ofClass(const char* name, double v);
  // A sparse real double array from compressed columns.
  static TestArg sparseColumns(int64_t rows, int64_t cols, std::vector<Index> Jc,
                               std::vector<Index> Ir, std::vector<double> values);
};

struct TestOutput {
  int64_t rows = 0, cols = 0;
  std::vector<double> values;
  std::vector<std::string> fieldNames;  // a struct when not empty
  std::vector<std::vector<double>> fields;
};

struct Frame {
  std::vector<TestArg> args;
  int nargout = 1;
  // The outputs by slot, each made or not; handed over when the call ends.
  std::vector<TestOutput> made;
  std::vector<bool> held;
  std::string printed;
  // Outputs the host serves before it fails to allocate one, or -1 for
  // no failure.
  int outputsBeforeFailure = -1;
};

// Runs `module` on the arguments in frame.
void serveTest(const Module& module, Frame& frame);

}  // namespace host
