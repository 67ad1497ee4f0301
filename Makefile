# Thin wrapper over CMake and ctest; see README.md.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
# Big arrays come from fresh pages, which Linux faults in 4 KiB at a time;
# letting glibc ask for transparent huge pages makes the column blocks of
# large problems cheap. The demo and benchmarks run with it (see README).
HUGEPAGES ?= GLIBC_TUNABLES=glibc.malloc.hugetlb=1

.PHONY: all deps configure test sanitize matlab-build package bench demo clean

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

# build/sparsekernels-<version>.tar.gz, an Octave package:
# pkg install build/sparsekernels-<version>.tar.gz, then pkg load sparsekernels.
package: all
	cmake --build $(BUILD) --target octave_package

# The MATLAB configuration, configured, compiled and linked against a
# stand-in MATLAB tree (Octave's MEX headers, stub libraries): it proves the
# MATLAB path builds, not that it runs. With a real MATLAB, configure with
# -DMEX_HOST=matlab -DMatlab_ROOT_DIR=<its folder> instead (see README).
MATLAB_BUILD ?= build-matlab
matlab-build: deps
	sh tests/matlab/standin-tree.sh $(MATLAB_BUILD)/standin
	cmake -S . -B $(MATLAB_BUILD) -DMEX_HOST=matlab -DMatlab_ROOT_DIR=$(abspath $(MATLAB_BUILD))/standin \
	  -DBUILD_TESTING=OFF $(CMAKE_FLAGS)
	cmake --build $(MATLAB_BUILD) -j $(JOBS)

# One benchmark: make bench MODULE=thresh (BENCH=thresh works too; several
# as MODULE=thresh,stepcoef). HOST=oct, mex or both picks the modules' build:
# by default build/oct once it exists, else build/mex. The demo takes
# HOST=mex too; it loads the oct-files by default.
MODULE ?=
BENCH ?=
HOST ?=
bench: deps
	$(MAKE) all
	$(HUGEPAGES) MODULE='$(strip $(MODULE) $(BENCH))' HOST='$(HOST)' sh bench/run.sh $(BUILD)

demo: deps
	$(MAKE) all
	cd demo && $(HUGEPAGES) octave-cli --no-gui --norc --no-history --quiet --eval "addpath('$(abspath $(BUILD))/$(or $(HOST),oct)'); sparseprec_demo; fprintf('\\n'); kernels_demo"

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(MATLAB_BUILD)
