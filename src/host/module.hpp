#pragma once
// A gateway's entry point for the host it is built for: a MEX module
// (mexFunction). A gateway file ends with
//   HOST_MODULE(thresh, kNames, gateway)
// naming its module once; `kNames` are its argument names in order and
// `gateway` is `void gateway(host::Call&)`.
#include <iterator>

#include "host/call.hpp"

#include "mex.h"

namespace host {

// Runs one call of `module`; outputs go to plhs (none when refused).
void serveMex(const Module& module, int nlhs, mxArray** plhs, int nrhs, const mxArray** prhs);

}  // namespace host

#define HOST_MODULE(name, argNames, gatewayFn)                                             \
  static const host::Module hostModule_{#name, argNames, static_cast<int>(std::size(argNames)), \
                                        gatewayFn};                                        \
  void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {           \
    host::serveMex(hostModule_, nlhs, plhs, nrhs, prhs);                                   \
  }

