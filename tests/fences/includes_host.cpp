// Compiled by the build.fence.* tests with one layer's include roots: only
// the gateway side reaches the host's binding.
#include "host/call.hpp"
