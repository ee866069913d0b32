# The two commands a newcomer needs: `make sim` and `make test`.
JOBS ?= $(shell nproc)
# A build's output through a filter must still fail the recipe.
SHELL := /bin/bash
.SHELLFLAGS := -o pipefail -c
# The builds' own makes inherit this: no "Entering directory" lines, so an
# up-to-date tree builds in silence.
MAKEFLAGS += --no-print-directory

.PHONY: all build build-ppc build-asan test fuzz soak crash sim bench clean

# `make sim SCENARIO=file` runs a file of console commands and exits.
SCENARIO ?=
# `make bench QUICK=1` runs every step of the figures briefly.
QUICK ?=

all: build

# Configures and builds preset $(1), showing only what is done: nothing on a
# tree that is up to date. Errors and warnings go to standard error.
define build_preset
	@cmake --preset $(1) >/dev/null
	@cmake --build --preset $(1) -j$(JOBS) | sed '/Built target/d; /Consolidate compiler generated/d'
endef

build:
	@cmake/install-deps build host
	$(call build_preset,host)

# The device's build: cross-compiled, its unit tests run under qemu. After the
# host build, so that the two never install packages at once.
build-ppc: build
	@cmake/install-deps ppc
	$(call build_preset,ppc)

# The host build again with AddressSanitizer and UndefinedBehaviorSanitizer;
# any report fails its test. The asan tests leave out the README's
# walk-through, which runs the host build whatever the preset, the
# benchmarks, whose budgets the sanitizers' own cost would break, and the
# scripts' checks, which no build changes.
build-asan: build
	$(call build_preset,asan)

test: build build-ppc build-asan
	@cmake/install-deps sim test
	ctest --preset host -j$(JOBS)
	ctest --preset ppc -j$(JOBS)
	ctest --preset asan -j$(JOBS)

# The libFuzzer targets of tests/fuzz (clang), each run briefly from its seeds
# inside the sandbox; a crash or a failed check fails. CI runs this after
# `make test`.
fuzz: build
	@cmake/install-deps sim fuzz
	$(call build_preset,fuzz)
	ctest --preset fuzz -j$(JOBS)

# The full soak and kill test of docs/reliability.md: 20,000 transitions, some
# 20 minutes, and 1,000 kills, some 4 minutes. `make test` runs 500 and 100.
soak: build
	@cmake/install-deps sim
	sim/sandbox --build build/host --twin -- tests/e2e/random_test.sh soak 20000

crash: build
	@cmake/install-deps sim
	sim/sandbox --build build/host --twin -- tests/e2e/random_test.sh crash 1000

# Only what the console runs: the daemon, lampscan and the twin, in a build
# of their own without the tests and benchmarks and what they need.
sim:
	@cmake/install-deps build sim
	$(call build_preset,sim)
	sim/sandbox --build build/sim --twin -- sim/console $(abspath $(SCENARIO))

# The performance figures of docs/figures.md, on the release build.
bench:
	@cmake/install-deps build sim bench
	$(call build_preset,release)
	bench/run $(if $(QUICK),--quick) build/release

clean:
	rm -rf build
