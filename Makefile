# Entry points: `make demo` runs the tour, `make test` builds and runs every test.
BUILD ?= build
ASAN_BUILD ?= build-sanitize
WIN_BUILD ?= build-windows
WEB_BUILD ?= build-web
JOBS ?= $(shell nproc)

CONFIGURE = cmake -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON

.PHONY: demo test test-sanitize setup-web web test-web serve-web setup-windows windows-build test-windows windows-tests package-windows bench docs setup clean

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

# The 32-bit Windows DLL, cross-built with MinGW-w64 (GoogleTest from Debian's sources with the
# same compiler), and the tests run under Wine in a fresh prefix inside the build folder. On a
# machine whose kernel runs no 32-bit programs (Wine's 32-bit loader fails), the 32-bit DLL, zem
# and the tour are still built, and the tests run on the 64-bit build under wine64.
WIN_DIR = $(abspath $(WIN_BUILD))
WIN32_DIR = $(WIN_DIR)/win32
WIN_CONFIGURE = $(CONFIGURE) -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-$(1).cmake \
	-DGTest_DIR=$(WIN_DIR)/gtest-$(1)/install/lib/cmake/GTest
WINE_ENV = WINEPREFIX=$(WIN_DIR)/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
WIN_TEST_ARCH = $$(/usr/lib/wine/wine --version >/dev/null 2>&1 && echo i686 || echo x86_64)

# GoogleTest, built with the cross compiler, for one architecture ($(1): i686 or x86_64).
define windows_gtest
	cmake -G Ninja -DCMAKE_BUILD_TYPE=Release \
		-DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-$(1).cmake -S /usr/src/googletest \
		-B $(WIN_DIR)/gtest-$(1) -DBUILD_GMOCK=OFF \
		-DCMAKE_INSTALL_PREFIX=$(WIN_DIR)/gtest-$(1)/install >/dev/null
	cmake --build $(WIN_DIR)/gtest-$(1) --target install -j $(JOBS) >/dev/null
endef

setup-windows:
	@./scripts/setup.sh windows

# The 32-bit DLL, zem.exe and the tour, without the tests.
windows-build: setup-windows
	$(call WIN_CONFIGURE,i686) -DBUILD_TESTING=OFF -S . -B $(WIN32_DIR) >/dev/null
	cmake --build $(WIN32_DIR) -j $(JOBS)

test-windows: windows-build
	arch=$(WIN_TEST_ARCH); \
	if [ $$arch = i686 ]; then wine=wine; dir=$(WIN_DIR)/win32-tests; \
	else wine=/usr/lib/wine/wine64; dir=$(WIN_DIR)/win64; fi; \
	echo "test-windows: tests of the $$arch build under $$wine"; \
	$(MAKE) --no-print-directory windows-tests WIN_ARCH=$$arch WINE=$$wine WIN_TEST_DIR=$$dir

windows-tests:
	$(call windows_gtest,$(WIN_ARCH))
	$(call WIN_CONFIGURE,$(WIN_ARCH)) -S . -B $(WIN_TEST_DIR) >/dev/null
	cmake --build $(WIN_TEST_DIR) -j $(JOBS)
	WINE=$(WINE) ./scripts/wine-prefix.sh $(WIN_DIR)/wine
	$(WINE_ENV) ZEM_TEST_WINE_FOLDERS=1 ctest --test-dir $(WIN_TEST_DIR) --output-on-failure -j $(JOBS)
	$(WINE_ENV) wineserver -k || true

# zembase-<version>-win32.zip: the DLL, its import library, the headers, the CMake package files
# and zem.exe, for a Windows program to unpack and link.
package-windows: windows-build
	cd $(WIN32_DIR) && cpack -G ZIP

# The HTML API reference in $(BUILD)/docs/html; fails on any Doxygen warning.
docs:
	@./scripts/setup.sh docs
	./docs/build.sh $(BUILD)/docs

bench: setup
	$(CONFIGURE) -S . -B $(BUILD) -DZEM_BUILD_BENCHMARKS=ON >/dev/null
	cmake --build $(BUILD) -j $(JOBS)
	for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(WIN_BUILD) $(WEB_BUILD)
