# Entry points: `make demo` runs the tour, `make test` builds and runs every test; plain `make`
# lists the targets.
BUILD ?= build
ASAN_BUILD ?= build-sanitize
TSAN_BUILD ?= build-tsan
WIN_BUILD ?= build-windows
WEB_BUILD ?= build-web
JOBS ?= $(shell nproc)

CONFIGURE = cmake -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON

.PHONY: help demo test test-sanitize test-tsan setup-web web test-web serve-web setup-windows \
	windows-build windows-deps test-windows setup-windows64 test-windows64 package-windows \
	linux32-setup test-linux32 bench docs setup clean

help:
	@echo 'make demo             build the library, zem and the tour, and run the tour ($(BUILD)/tour-run)'
	@echo 'make test             build and run every test ($(BUILD))'
	@echo 'make test-sanitize    the tests and a short fuzzing run under ASan and UBSan ($(ASAN_BUILD))'
	@echo 'make test-tsan        the thread patterns under ThreadSanitizer ($(TSAN_BUILD))'
	@echo 'make bench            build and run the benchmarks'
	@echo 'make docs             the API reference ($(BUILD)/docs/html)'
	@echo 'make web              the web page ($(WEB_BUILD)/site); serve-web serves it, test-web tests it'
	@echo 'make windows-build    the 32-bit Windows DLL, zem.exe and the tour ($(WIN_BUILD))'
	@echo 'make package-windows  the Windows zip, checked'
	@echo 'make test-windows     the tests under 32-bit Wine; test-windows64 under 64-bit Wine'
	@echo 'make test-linux32     the tests built with -m32'
	@echo 'make setup            install the Debian packages the build, tests and benchmarks need'
	@echo 'make clean            remove the build folders'

setup:
	@./scripts/setup.sh

# The library, zem and the tour alone: no tests, no benchmarks, and only their packages; the
# time it took, set-up included, comes last.
demo:
	@start=$$(date +%s) && ./scripts/setup.sh demo && \
	$(CONFIGURE) -S . -B $(BUILD) -DBUILD_TESTING=OFF -DZEM_BUILD_TOOLS=ON \
		-DZEM_BUILD_BENCHMARKS=OFF >/dev/null && \
	cmake --build $(BUILD) --target tour zem -j $(JOBS) && \
	mkdir -p $(BUILD)/tour-run && cd $(BUILD)/tour-run && ../examples/tour/tour && \
	echo "make demo: built and ran in $$(($$(date +%s) - start)) s"

# Every switch the tests need is set anew: a folder configured otherwise before (the library
# alone, BUILD_TESTING off) would keep old test binaries and run them against the new library.
test: setup
	$(CONFIGURE) -S . -B $(BUILD) -DBUILD_TESTING=ON -DZEM_BUILD_TOOLS=ON \
		-DZEM_BUILD_BENCHMARKS=ON >/dev/null
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

# The ways of sharing the library between threads that the README describes, built by clang with
# ThreadSanitizer: the library and their one test binary only.
test-tsan: setup
	CXX=clang++ $(CONFIGURE) -S . -B $(TSAN_BUILD) -DZEM_SANITIZE=thread -DZEM_BUILD_TOOLS=OFF \
		>/dev/null
	cmake --build $(TSAN_BUILD) --target test_threads -j $(JOBS)
	TSAN_OPTIONS=halt_on_error=1 $(TSAN_BUILD)/tests/test_threads

# The web page in $(WEB_BUILD)/site: the library built to WebAssembly by Debian's Emscripten, whose
# JavaScript optimiser needs node to find Debian's modules (NODE_PATH).
WEB_ENV = NODE_PATH=/usr/share/nodejs
PUPPETEER_VERSION = 24.43.1
PUPPETEER = $(WEB_BUILD)/npm/node_modules/puppeteer-core

setup-web:
	@./scripts/setup.sh web

web: setup-web
	$(WEB_ENV) emcmake cmake -G Ninja -DCMAKE_BUILD_TYPE=Release \
		-DCMAKE_COMPILE_WARNING_AS_ERROR=ON -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF \
		-DZEM_BUILD_TOOLS=OFF -S . -B $(WEB_BUILD) >/dev/null
	$(WEB_ENV) cmake --build $(WEB_BUILD) --target zemweb zemchecks -j $(JOBS)

# The page in headless Chromium, driven by puppeteer-core (installed into the build folder), beside
# the native zem and tour, which make its fixtures and the pictures it must show.
test-web: web setup
	$(CONFIGURE) -S . -B $(BUILD) -DZEM_BUILD_BENCHMARKS=ON >/dev/null
	cmake --build $(BUILD) --target zem tour -j $(JOBS)
	grep -qs '"version": "$(PUPPETEER_VERSION)"' $(PUPPETEER)/package.json || \
		npm install --prefix $(WEB_BUILD)/npm --no-audit --no-fund --loglevel=error \
			puppeteer-core@$(PUPPETEER_VERSION)
	node web/test/test-web.mjs $(WEB_BUILD) $(BUILD)

# The page for a person to try, on http://127.0.0.1:8000/.
serve-web: web
	python3 -m http.server 8000 --bind 127.0.0.1 --directory $(WEB_BUILD)/site

# The 32-bit Windows DLL, zem.exe, the tour and every test, cross-built with MinGW-w64
# (GoogleTest from Debian's sources with the same compiler), the tests run under 32-bit Wine in a
# fresh prefix inside the build folder, and the package zip built from the same tree. Wine's
# 32-bit programs run under qemu-i386 where the kernel runs no 32-bit programs (setup registers
# it). The 64-bit build (test-windows64) is the same with the x86_64 toolchain, in its own folders,
# run natively by wine64 in a 64-bit prefix. The wineserver and Wine's services are started once
# before the tests, away from their output: started by the first test, they would hold its output
# open until its timeout.
WIN_DIR = $(abspath $(WIN_BUILD))
WIN_DEPS = $(WIN_DIR)/deps
# $(1): the MinGW target (i686, x86_64).
win_configure = $(CONFIGURE) -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-$(1).cmake \
	-DCMAKE_FIND_ROOT_PATH=$(WIN_DEPS)/mingw-w64-$(1)

# GoogleTest built from Debian's sources ($(1): toolchain file, $(2): folder).
define cross_gtest
	cmake -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/$(1) \
		-S /usr/src/googletest -B $(2) -DBUILD_GMOCK=OFF -DCMAKE_INSTALL_PREFIX=$(2)/install >/dev/null
	cmake --build $(2) --target install -j $(JOBS) >/dev/null
endef

setup-windows:
	@./scripts/setup.sh windows

setup-windows64:
	@./scripts/setup.sh windows64

# The static libpng (zem.exe) and FreeType (the font builder), cross-built once from Debian's
# source packages.
# $(1): the MinGW target.
define windows_deps
	./scripts/mingw-source-lib.sh libpng cmake/mingw-w64-$(1).cmake $(WIN_DEPS)
	./scripts/mingw-source-lib.sh freetype cmake/mingw-w64-$(1).cmake $(WIN_DEPS)
endef
windows-deps: setup-windows
	$(call windows_deps,i686)

# The 32-bit DLL, zem.exe and the tour, without the tests, optimised for shipping.
windows-build: windows-deps
	$(call win_configure,i686) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
		-DZEM_BUILD_BENCHMARKS=OFF -S . -B $(WIN_DIR)/win32 >/dev/null
	cmake --build $(WIN_DIR)/win32 -j $(JOBS)

# What the two Windows runs differ in: the MinGW target, the Wine architecture (which names the
# test folder), the suffix of the GoogleTest and prefix folders, the Wine loader (wine64 is not on
# Debian's PATH) and what `file` must say of the DLL.
test-windows: setup-windows
test-windows: WIN_TARGET = i686
test-windows: WIN_ARCH = win32
test-windows: WIN_SUFFIX =
test-windows: WIN_WINE = wine
test-windows: WIN_DLL = PE32 executable (DLL).*Intel 80386
test-windows64: setup-windows64
test-windows64: WIN_TARGET = x86_64
test-windows64: WIN_ARCH = win64
test-windows64: WIN_SUFFIX = 64
test-windows64: WIN_WINE = /usr/lib/wine/wine64
test-windows64: WIN_DLL = PE32+ executable (DLL).*x86-64
test-windows test-windows64: WIN_TESTS = $(WIN_DIR)/$(WIN_ARCH)-tests
test-windows test-windows64: WIN_GTEST = $(WIN_DIR)/gtest$(WIN_SUFFIX)
test-windows test-windows64: WINE_ENV = WINEPREFIX=$(WIN_DIR)/wine$(WIN_SUFFIX) WINEARCH=$(WIN_ARCH) \
	WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
test-windows test-windows64:
	$(call windows_deps,$(WIN_TARGET))
	$(call cross_gtest,mingw-w64-$(WIN_TARGET).cmake,$(WIN_GTEST))
	$(call win_configure,$(WIN_TARGET)) -DGTest_DIR=$(WIN_GTEST)/install/lib/cmake/GTest \
		-DZEM_BUILD_BENCHMARKS=OFF -S . -B $(WIN_TESTS) >/dev/null
	cmake --build $(WIN_TESTS) -j $(JOBS)
	file $(WIN_TESTS)/bin/zembase.dll | grep -q '$(WIN_DLL)'
	./scripts/wine-prefix.sh $(WIN_DIR)/wine$(WIN_SUFFIX) $(WIN_ARCH) $(WIN_WINE)
	$(WINE_ENV) wineserver -p </dev/null >/dev/null 2>&1
	$(WINE_ENV) $(WIN_WINE) wineboot </dev/null >/dev/null 2>&1
	$(WINE_ENV) ZEM_TEST_WINE_FOLDERS=1 ctest --test-dir $(WIN_TESTS) --output-on-failure -j $(JOBS); \
		rc=$$?; $(WINE_ENV) wineserver -k || true; exit $$rc

# zembase-<version>-win32.zip: the DLL, its import library, the headers, the CMake package files
# and zem.exe, for a Windows program to unpack and link; checked for what the README promises.
package-windows: windows-build
	cd $(WIN_DIR)/win32 && cpack -G ZIP >/dev/null
	./scripts/check-windows-zip.sh $(WIN_DIR)/win32/zembase-*-win32.zip

# The Linux suite built for 32-bit x86 (-m32), run by qemu-i386: the code on an ILP32 target.
LINUX32_DIR = $(abspath $(BUILD))-linux32
linux32-setup:
	@./scripts/setup.sh linux32

test-linux32: linux32-setup
	$(CONFIGURE) -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/linux-i686.cmake \
		-DZEM_BUILD_BENCHMARKS=OFF -S . -B $(LINUX32_DIR) >/dev/null
	cmake --build $(LINUX32_DIR) -j $(JOBS)
	file $(LINUX32_DIR)/libzembase.so.* | grep -q 'ELF 32-bit LSB shared object, Intel 80386'
	ctest --test-dir $(LINUX32_DIR) --output-on-failure -j $(JOBS)

# The HTML API reference in $(BUILD)/docs/html; fails on any Doxygen warning.
docs:
	@./scripts/setup.sh docs
	./docs/build.sh $(BUILD)/docs

bench: setup
	$(CONFIGURE) -S . -B $(BUILD) -DZEM_BUILD_BENCHMARKS=ON >/dev/null
	cmake --build $(BUILD) -j $(JOBS)
	for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(WIN_BUILD) $(WEB_BUILD) $(LINUX32_DIR)
