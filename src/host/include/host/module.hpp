#pragma once
// A gateway's entry point for the host it is built for: the same gateway
// source becomes a MEX module (mexFunction) or, with HOST_OCT defined, an
// Octave oct-file (DEFUN_DLD). A gateway file ends with
//   HOST_MODULE(thresh, kNames, gateway)
// naming its module once; `kNames` are its argument names in order and
// `gateway` is `void gateway(host::Call&)`.
#include <iterator>

#include "host/call.hpp"

#if defined(HOST_OCT)
#include <octave/oct.h>

namespace host {

// Runs one call of `module` and returns its outputs (none when refused).
octave_value_list serveOct(const Module& module, const octave_value_list& args, int nargout);

// The help text `help <module>` shows: the call with the argument names.
std::string usage(const Module& module);

}  // namespace host

// The module's help text, compiled in from its help file where the build
// gives one (HOST_HELP_FILE), else the call with its argument names.
#if defined(HOST_HELP_FILE)
static const char hostHelpText_[] =
#include HOST_HELP_FILE
    ;
#define HOST_HELP_TEXT(module) std::string(hostHelpText_)
#else
#define HOST_HELP_TEXT(module) host::usage(module)
#endif

#define HOST_MODULE(name, argNames, gatewayFn)                                             \
  static const host::Module hostModule_{#name, argNames, static_cast<int>(std::size(argNames)), \
                                        gatewayFn};                                        \
  DEFUN_DLD(name, args, nargout, HOST_HELP_TEXT(hostModule_)) {                               \
    return host::serveOct(hostModule_, args, nargout);                                     \
  }

#else
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

#endif
