# The two commands: `make demo` and `make test`. See README.md.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

PREFIX ?= /usr/local

.PHONY: all demo test build deps clean bench fuzz windows install

all: build

deps:
	@bash scripts/setup-deps

build: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) >/dev/null
	cmake --build build -j $(JOBS)

# The demo needs only the programs, not the tests: a fresh `make demo` stays
# well under a minute.
# The build's output goes to build/demo-build.log, shown only when it fails.
demo: deps
	@mkdir -p build
	@{ cmake -S . -B build -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) && \
	   cmake --build build -j $(JOBS) --target corvane corvane-sim corvane-feed corvane-wav corvane-plot; \
	 } >build/demo-build.log 2>&1 || { cat build/demo-build.log; echo "demo: the build failed (build/demo-build.log)"; exit 1; }
	@bash examples/run-demo build

# The programs and their man pages (made from --help by help2man) under
# PREFIX: bin/ and share/man/man1/.
install: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=$(PREFIX) $(CMAKE_FLAGS) >/dev/null
	cmake --build build -j $(JOBS) --target corvane corvane-sim corvane-feed corvane-wav corvane-plot
	cmake --install build --prefix $(PREFIX)

test: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) >/dev/null
	cmake --build build -j $(JOBS)
	cd build && ctest --output-on-failure -j $(JOBS)
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DCORVANE_SANITIZE=ON $(CMAKE_FLAGS) >/dev/null
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ctest --output-on-failure -j $(JOBS)
	JOBS=$(JOBS) bash scripts/test-windows

windows: deps
	JOBS=$(JOBS) bash scripts/test-windows --build-only
	@ls build-win/*.exe

# Throughput of the whole monitor on one simulated hour (bench/throughput),
# then the micro benchmarks; built in build-bench.
bench: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DCORVANE_BENCH=ON -DCORVANE_TESTS=OFF $(CMAKE_FLAGS) >/dev/null
	cmake --build build-bench -j $(JOBS)
	bash bench/throughput build-bench
	set -e; for b in build-bench/*-bench; do echo "== $$b"; "$$b"; done

# Runs every fuzz target for FUZZ_SECONDS (default 600) on a copy of its corpus.
FUZZ_SECONDS ?= 600
fuzz: deps
	CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_FUZZ=ON >/dev/null
	cmake --build build-fuzz -j $(JOBS)
	bash scripts/run-fuzz build-fuzz $(FUZZ_SECONDS)

clean:
	rm -rf build build-asan build-win build-fuzz build-bench
