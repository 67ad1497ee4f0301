# Thin wrapper over CMake and ctest; see README.md.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
# Big arrays come from fresh pages, which Linux faults in 4 KiB at a time;
# letting glibc ask for transparent huge pages makes the column blocks of
# large problems cheap. The demo and benchmarks run with it (see README).
HUGEPAGES ?= GLIBC_TUNABLES=glibc.malloc.hugetlb=1
# The build of the modules the demo and benchmarks load: oct (Octave's own
# interface, the faster one) or mex.
MODULES ?= oct

.PHONY: all deps configure test sanitize bench demo clean

all: configure
	cmake --build $(BUILD) -j $(JOBS)

deps:
	@sh tools/ensure-deps.sh

configure:
	@test -f $(BUILD)/CMakeCache.txt || cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

test: deps
	$(MAKE) all
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Everything built again with AddressSanitizer and UBSan in its own directory,
# and the tests run against it: any report ends its test with a failure.
# host.stepmin.* (both builds) is left out by default: its minutes go to an Octave-side
# reference search that the sanitized allocator slows 50-fold, while its
# module is exercised here by host.stepmin_fuzz and kernels.stepmin.
SANITIZE_BUILD ?= build-asan
SANITIZE_SKIP ?= ^host\.stepmin\.(mex|oct)$$
sanitize: deps
	@test -f $(SANITIZE_BUILD)/CMakeCache.txt || cmake -S . -B $(SANITIZE_BUILD) \
	  -DSANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	cd $(SANITIZE_BUILD) && UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS) $(if $(SANITIZE_SKIP),-E '$(SANITIZE_SKIP)')

bench: deps
	$(MAKE) all
	$(HUGEPAGES) sh bench/run.sh $(BUILD) $(MODULES)

demo: deps
	$(MAKE) all
	cd demo && $(HUGEPAGES) octave-cli --no-gui --norc --no-history --quiet --eval "addpath('$(abspath $(BUILD))/$(MODULES)'); sparseprec_demo; fprintf('\\n'); kernels_demo"

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD)
