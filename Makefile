# The two commands of the README:
#   make demo   builds and installs the package, then summarises the bundled example dump
#   make test   installs what is missing, builds, and runs every test (C++, Python, sanitizers, fuzz replay)

SHELL := /bin/bash
PYTHON ?= python3
VENV := .venv
PY := $(VENV)/bin/python
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 15

.PHONY: demo test deps build-deps venv install install-all cpp-test python-test asan-test fuzz-test bench clean

demo: build-deps install
	$(PY) examples/demo.py

test: deps install-all cpp-test python-test asan-test fuzz-test

deps:
	./tools/install_deps.sh test

build-deps:
	./tools/install_deps.sh build

$(VENV)/.ready: pyproject.toml
	$(PYTHON) -m venv $(VENV)
	$(PY) -m pip install -q --upgrade pip
	$(PY) -m pip install -q "scikit-build-core>=0.10" cmake ninja pytest
	touch $@

venv: $(VENV)/.ready

install: venv
	$(PY) -m pip install -q --no-build-isolation .

# The package with every optional extra, for the tests.
install-all: venv
	$(PY) -m pip install -q --no-build-isolation ".[all]"

cpp-test: venv
	PATH="$(CURDIR)/$(VENV)/bin:$$PATH" cmake -S . -B build/cpp -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRELM_BUILD_TESTS=ON -DTRELM_BUILD_FUZZ=ON
	PATH="$(CURDIR)/$(VENV)/bin:$$PATH" cmake --build build/cpp -j $(JOBS)
	./build/cpp/trelm_tests

python-test: install-all
	cd tests/python && ../../$(PY) -m pytest -q -p no:cacheprovider .

asan-test: venv
	PATH="$(CURDIR)/$(VENV)/bin:$$PATH" cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="-O1" -DTRELM_SANITIZE=ON -DTRELM_BUILD_TESTS=ON -DTRELM_BUILD_FUZZ=ON
	PATH="$(CURDIR)/$(VENV)/bin:$$PATH" cmake --build build/asan -j $(JOBS)
	ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ./build/asan/trelm_tests
	for t in build/asan/*_fuzz; do \
	  ASAN_OPTIONS=halt_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 $$t tests/data fuzz/corpus || exit 1; \
	done

# Bounded libFuzzer runs (clang), seeded from tests/data and fuzz/corpus.
fuzz-test: venv
	PATH="$(CURDIR)/$(VENV)/bin:$$PATH" CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRELM_SANITIZE=ON -DTRELM_BUILD_TESTS=OFF -DTRELM_BUILD_FUZZ=ON -DTRELM_LIBFUZZER=ON
	PATH="$(CURDIR)/$(VENV)/bin:$$PATH" cmake --build build/fuzz -j $(JOBS)
	for t in build/fuzz/*_fuzz; do \
	  [ -f $$t ] || continue; \
	  mkdir -p build/fuzz/corpus-$$(basename $$t); \
	  ASAN_OPTIONS=halt_on_error=1 UBSAN_OPTIONS=halt_on_error=1 $$t -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=2048 -timeout=10 \
	    build/fuzz/corpus-$$(basename $$t) tests/data fuzz/corpus || exit 1; \
	done

# Benchmarks quoted in the closing notes (they generate a ~1 GB dump under bench/data on first use).
bench: install
	$(PY) bench/load_vcd.py
	$(PY) bench/scale_vcd.py
	$(PY) bench/find_python.py
	$(PY) bench/load_fst.py
	$(PY) bench/scan_random.py
	$(PY) bench/compile_query.py

clean:
	rm -rf build $(VENV)
