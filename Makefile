# Entry points: `make demo` runs the tour, `make test` builds and runs every test.
BUILD ?= build
ASAN_BUILD ?= build-sanitize
JOBS ?= $(shell nproc)

CONFIGURE = cmake -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON

.PHONY: demo test test-sanitize bench docs setup clean

setup:
	@./scripts/setup.sh

demo: setup
	$(CONFIGURE) -S . -B $(BUILD) -DZEM_BUILD_BENCHMARKS=ON >/dev/null
	cmake --build $(BUILD) --target tour zem -j $(JOBS)
	mkdir -p $(BUILD)/tour-run && cd $(BUILD)/tour-run && ../examples/tour/tour

test: setup
	$(CONFIGURE) -S . -B $(BUILD) -DZEM_BUILD_BENCHMARKS=ON >/dev/null
	cmake --build $(BUILD) -j $(JOBS)
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The same tests, built by clang with AddressSanitizer and UndefinedBehaviorSanitizer, plus a
# short run of every fuzz target.
test-sanitize: setup
	CXX=clang++ $(CONFIGURE) -S . -B $(ASAN_BUILD) -DZEM_SANITIZE=address,undefined \
		-DZEM_BUILD_FUZZERS=ON >/dev/null
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# The HTML API reference in $(BUILD)/docs/html; fails on any Doxygen warning.
docs:
	@./scripts/setup.sh docs
	./docs/build.sh $(BUILD)/docs

bench: setup
	$(CONFIGURE) -S . -B $(BUILD) -DZEM_BUILD_BENCHMARKS=ON >/dev/null
	cmake --build $(BUILD) -j $(JOBS)
	for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
