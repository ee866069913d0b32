# The two commands a newcomer needs: `make sim` and `make test`.
JOBS ?= $(shell nproc)

.PHONY: all build test sim clean

# `make sim SCENARIO=file` runs a file of console commands and exits.
SCENARIO ?=

all: build

build:
	cmake/install-deps build test
	cmake --preset host
	cmake --build --preset host -j$(JOBS)

test: build
	ctest --preset host -j$(JOBS)

sim: build
	sim/sandbox --build build/host --twin -- sim/console $(abspath $(SCENARIO))

clean:
	rm -rf build
