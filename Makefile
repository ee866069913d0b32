# The two commands a newcomer needs: `make sim` and `make test`.
JOBS ?= $(shell nproc)

.PHONY: all build test sim clean

all: build

build:
	cmake/install-deps build test
	cmake --preset host
	cmake --build --preset host -j$(JOBS)

test: build
	ctest --preset host -j$(JOBS)

clean:
	rm -rf build
