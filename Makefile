# Thin front end over CMake.  `make run` and `make test` set up a fresh Debian 12
# machine (missing packages through apt-get), configure, build and run.

PYTHON   := /usr/bin/python3
BUILD    := build
SANITIZE := build-sanitize
THREAD   := build-thread
JOBS     := $(shell nproc 2>/dev/null || echo 2)
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo Ninja || echo "Unix Makefiles")
CMAKE_FLAGS := -G "$(GENERATOR)" -DPython3_EXECUTABLE=$(PYTHON) -DKESTRO_WERROR=ON

.PHONY: all setup configure build run test test-sanitize test-thread bench install clean

all: build

setup:
	@scripts/setup-deps.sh

configure: setup
	@test -f $(BUILD)/CMakeCache.txt || cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The example job needs the library and the Python module only; the tests and
# benchmarks are built by `make build` and `make test`.
run: configure
	cmake --build $(BUILD) -j $(JOBS) --target kestro _kestro
	PYTHONPATH=$(BUILD)/python $(PYTHON) examples/job.py

# The whole suite (C++, C and Python tests), then the C and C++ tests again
# under AddressSanitizer and UndefinedBehaviorSanitizer, then the threaded
# tests under ThreadSanitizer (a build of the library and those tests alone).
test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	$(MAKE) --no-print-directory test-sanitize
	$(MAKE) --no-print-directory test-thread

test-sanitize: setup
	@test -f $(SANITIZE)/CMakeCache.txt || cmake -S . -B $(SANITIZE) $(CMAKE_FLAGS) \
		-DCMAKE_BUILD_TYPE=Debug -DKESTRO_SANITIZE=ON -DKESTRO_PYTHON=OFF -DKESTRO_BENCH=OFF
	cmake --build $(SANITIZE) -j $(JOBS)
	ctest --test-dir $(SANITIZE) --output-on-failure -j $(JOBS)

test-thread: setup
	@test -f $(THREAD)/CMakeCache.txt || cmake -S . -B $(THREAD) $(CMAKE_FLAGS) \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRO_THREAD_SANITIZE=ON -DKESTRO_PYTHON=OFF -DKESTRO_BENCH=OFF
	cmake --build $(THREAD) -j $(JOBS)
	ctest --test-dir $(THREAD) --output-on-failure -j $(JOBS)

bench: build
	$(BUILD)/bench/kestro_bench

install: build
	cmake --install $(BUILD)

clean:
	rm -rf $(BUILD) $(SANITIZE) $(THREAD)
