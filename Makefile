# The two commands a newcomer needs: `make sim` and `make test`.
JOBS ?= $(shell nproc)

.PHONY: all build build-ppc build-asan test fuzz soak crash sim bench clean

# `make sim SCENARIO=file` runs a file of console commands and exits.
SCENARIO ?=
# `make bench QUICK=1` runs every step of the figures briefly.
QUICK ?=

all: build

build:
	cmake/install-deps build test bench
	cmake --preset host
	cmake --build --preset host -j$(JOBS)

# The device's build: cross-compiled, its unit tests run under qemu. After the
# host build, so that the two never install packages at once.
build-ppc: build
	cmake/install-deps ppc
	cmake --preset ppc
	cmake --build --preset ppc -j$(JOBS)

# The host build again with AddressSanitizer and UndefinedBehaviorSanitizer;
# any report fails its test. The asan tests leave out the README's
# walk-through, which runs the host build whatever the preset, and the
# benchmarks, whose budgets the sanitizers' own cost would break.
build-asan: build
	cmake --preset asan
	cmake --build --preset asan -j$(JOBS)

test: build build-ppc build-asan
	ctest --preset host -j$(JOBS)
	ctest --preset ppc -j$(JOBS)
	ctest --preset asan -j$(JOBS)

# The libFuzzer targets of tests/fuzz (clang), each run briefly from its seeds
# inside the sandbox; a crash or a failed check fails. CI runs this after
# `make test`.
fuzz: build
	cmake/install-deps fuzz
	cmake --preset fuzz
	cmake --build --preset fuzz -j$(JOBS)
	ctest --preset fuzz -j$(JOBS)

# The full soak and kill test of docs/reliability.md: 20,000 transitions, some
# 20 minutes, and 1,000 kills, some 4 minutes. `make test` runs 500 and 100.
soak: build
	sim/sandbox --build build/host --twin -- tests/e2e/random_test.sh soak 20000

crash: build
	sim/sandbox --build build/host --twin -- tests/e2e/random_test.sh crash 1000

sim: build
	sim/sandbox --build build/host --twin -- sim/console $(abspath $(SCENARIO))

# The performance figures of docs/figures.md, on the release build.
bench:
	cmake/install-deps build test bench
	cmake --preset release
	cmake --build --preset release -j$(JOBS)
	bench/run $(if $(QUICK),--quick) build/release

clean:
	rm -rf build
