# The two commands a newcomer needs: `make sim` and `make test`.
JOBS ?= $(shell nproc)

.PHONY: all build build-ppc test sim clean

# `make sim SCENARIO=file` runs a file of console commands and exits.
SCENARIO ?=

all: build

build:
	cmake/install-deps build test
	cmake --preset host
	cmake --build --preset host -j$(JOBS)

# The device's build: cross-compiled, its unit tests run under qemu. After the
# host build, so that the two never install packages at once.
build-ppc: build
	cmake/install-deps ppc
	cmake --preset ppc
	cmake --build --preset ppc -j$(JOBS)

test: build build-ppc
	ctest --preset host -j$(JOBS)
	ctest --preset ppc -j$(JOBS)

sim: build
	sim/sandbox --build build/host --twin -- sim/console $(abspath $(SCENARIO))

clean:
	rm -rf build
