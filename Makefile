# The quick start: `make run` plays the show in this terminal, `make test` runs
# every test. Both install what is missing first (Debian packages, as root or
# through sudo). The real work is in CMake presets; see README.md.

JOBS ?= $(shell nproc 2>/dev/null || echo 2)
DEPS_STAMP := build/.deps-installed

.PHONY: run test test-asan build asan bench fuzz format format-check tidy deps clean windows \
	test-windows check-reliability bench-real-link

$(DEPS_STAMP): scripts/install-deps
	scripts/install-deps
	@mkdir -p build && touch $@

# The extra packages of the Windows and browser builds, and the smaller set
# that make run needs (play).
build/.deps-%-installed: scripts/install-deps
	scripts/install-deps $*
	@mkdir -p build && touch $@

deps: $(DEPS_STAMP)

build: $(DEPS_STAMP)
	cmake --preset default
	cmake --build --preset default -j $(JOBS)

# Playing needs less than testing: the packages of `install-deps play` and the
# program alone, built quietly in its own preset (or in the full build when
# that is already there). RUN_ARGS go to the program, e.g. RUN_ARGS=--silent.
RUN_PRESET = $(if $(wildcard build/default/CMakeCache.txt),default,play)
RUN_ARGS ?=

run: build/.deps-play-installed
	@scripts/build-quietly $(RUN_PRESET) shadestrip $(JOBS)
	@./build/$(RUN_PRESET)/src/platform/posix/shadestrip $(RUN_ARGS)

test: build
	ctest --preset default -j $(JOBS)

asan: $(DEPS_STAMP)
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)

test-asan: asan
	ctest --preset asan -j $(JOBS)

bench: build
	cmake --build --preset default --target bench -j $(JOBS)

# The show over real ssh, ssh -C and mosh between two network namespaces
# (root; about 17 minutes: five links, three ways, 60 s each).
bench-real-link: build build/.deps-link-installed
	cmake --build --preset default --target bench-real-link -j $(JOBS)

# A Debian package (.deb) of the programs, the manual pages and the documents,
# in build/default; `apt install ./build/default/shadestrip_*.deb` installs it.
.PHONY: package
package: build
	cmake --build --preset default --target package

# The reliability suite with its longer variants (tests/reliability), about
# 40 minutes. CI runs only its short part, through the tests of both presets.
check-reliability: build asan
	tests/reliability/check-reliability

# Runs each fuzz target for FUZZ_SECONDS (default 60) in all.
FUZZ_SECONDS ?= 60
fuzz: $(DEPS_STAMP)
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS) --target fuzz_targets
	scripts/run-fuzzers build/fuzz $(FUZZ_SECONDS)

# The Windows build, cross-compiled with mingw-w64 into build/windows, its tests
# run under Wine. Host tools cannot run in a cross build, so the host tree makes
# the resource files and the font first; the frame parity test compares with
# the host tree's capture tool.
WINDOWS_DEPS_STAMP := build/.deps-windows-installed
WINDOWS_HOST_TARGETS := shadestrip_resource_files shade_cellpng

windows: $(DEPS_STAMP) $(WINDOWS_DEPS_STAMP)
	cmake --preset default
	cmake --build --preset default -j $(JOBS) --target $(WINDOWS_HOST_TARGETS)
	cmake --preset windows
	cmake --build --preset windows -j $(JOBS)

test-windows: windows
	cmake --build --preset default -j $(JOBS) --target shadestrip-capture
	ctest --preset windows -j $(JOBS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

# Fails, naming the files, where a source differs from .clang-format.
format-check: $(DEPS_STAMP)
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

# The checks of .clang-tidy over every source of ours in the default build
# (generated sources in build/ are left out).
tidy: build
	run-clang-tidy -p build/default -quiet -j $(JOBS) '$(CURDIR)/(src|tests|tools|bench)/'

clean:
	rm -rf build

# The browser edition: a static site in build/web (index.html, page.js,
# shadestrip.js, shadestrip.wasm, music.ogg, music-small.ogg, poster.png,
# favicon.png) built with Debian's emscripten. As for the Windows build, the host tree makes the resource files,
# the font and the embedding tool first, and the capture tool for the poster.
.PHONY: web web-serve test-web bench-web
WEB_DEPS_STAMP := build/.deps-web-installed
WEB_HOST_TARGETS := shadestrip_resource_files shade_cellpng shadestrip-embed shadestrip-capture
WEB_ENV := NODE_PATH=/usr/share/nodejs
WEB_PORT ?= 8000

web: $(DEPS_STAMP) $(WEB_DEPS_STAMP)
	cmake --preset default
	cmake --build --preset default -j $(JOBS) --target $(WEB_HOST_TARGETS)
	$(WEB_ENV) cmake --preset web
	$(WEB_ENV) cmake --build --preset web -j $(JOBS) --target shadestrip

# Serves the site on this machine only; open http://localhost:$(WEB_PORT)/.
web-serve: web
	cd build/web && python3 -m http.server $(WEB_PORT) --bind 127.0.0.1

# The site in headless Chromium, compared with the host's capture tool, and
# every frame of the show from a native build with the browser's rounding.
test-web: web
	cmake --build --preset default -j $(JOBS) --target shadestrip-capture
	tests/web/test-web

# Figures of the site in Chromium (docs/performance.md).
bench-web: web
	tests/web/install-driver
	node bench/web/web_bench.mjs build/web build/default/resources/music.ogg
