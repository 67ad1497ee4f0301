# Thin wrapper over CMake and ctest; see README.md.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

.PHONY: all deps configure test bench demo clean

all: configure
	cmake --build $(BUILD) -j $(JOBS)

deps:
	@sh tools/ensure-deps.sh

configure:
	@test -f $(BUILD)/CMakeCache.txt || cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

test: deps
	$(MAKE) all
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench: deps
	$(MAKE) all
	sh bench/run.sh $(BUILD)

demo: deps
	$(MAKE) all
	cd demo && octave-cli --no-gui --norc --no-history --quiet --eval "addpath('$(abspath $(BUILD))/mex'); sparseprec_demo; fprintf('\\n'); kernels_demo"

clean:
	rm -rf $(BUILD)
