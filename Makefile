# The two set-up commands of the README, and the targets they build on.
BUILD     ?= build
JOBS      ?= $(shell nproc)
CMAKE_ARGS ?=
# ccache, when present, shares compiled objects between build folders. It is looked for when a
# build folder is configured, after the set-up has installed it.
LAUNCHER = $$(command -v ccache >/dev/null 2>&1 && echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
export CCACHE_NOHASHDIR := true
export CCACHE_BASEDIR := $(CURDIR)

.PHONY: all deps configure build demo check check-asan fuzz-short bench package clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@test -f $(BUILD)/CMakeCache.txt || cmake -S . -B $(BUILD) $(CMAKE_ARGS) $(LAUNCHER)

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# The display is checked first: without one there is nothing to open, and one sentence says so.
# Only the program and what it links are built, not the tests.
demo:
	@bash scripts/demo.sh $(BUILD) "$(MAKE)"

# The packages are built first so the test of the packages always has current ones.
# A test that fails is run once more: conversations over loopback on a loaded 2-core machine
# can miss a wait, and a second failure is a real one.
CHECK_DEPS ?= package
check: $(CHECK_DEPS)
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 600 --repeat until-pass:2

check-asan:
	@$(MAKE) --no-print-directory check BUILD=build-asan CHECK_DEPS=build CMAKE_ARGS="$(CMAKE_ARGS) -DBREVION_SANITIZE=ON -DBREVION_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug"

# The fuzz targets (clang, libFuzzer + ASan/UBSan) over the pure cores only, about 30 s each.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 30
fuzz-short:
	@test -f $(FUZZ_BUILD)/CMakeCache.txt || cmake -S . -B $(FUZZ_BUILD) $(CMAKE_ARGS) $(LAUNCHER) \
		-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DBREVION_FUZZ=ON -DBREVION_BUILD_TESTS=OFF -DBREVION_BUILD_BENCH=OFF
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_targets
	@bash tests/fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# The Debian packages: $(BUILD)/{brevion,libbrevion1,libbrevion-dev}_<version>-<release>_<arch>.deb
package: build
	@cd $(BUILD) && cpack -G DEB
	@ls $(BUILD)/brevion_*.deb $(BUILD)/libbrevion1_*.deb $(BUILD)/libbrevion-dev_*.deb

bench: build
	@bash bench/run.sh $(BUILD)

clean:
	rm -rf $(BUILD) build-asan $(FUZZ_BUILD)
