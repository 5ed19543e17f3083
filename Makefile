# The newcomer's entry points: `make run` and `make test`. Both install missing Debian packages
# first, then configure and build with CMake and Ninja.

BUILD      ?= build
BUILD_ASAN ?= build-asan
BUILD_FUZZ ?= build-fuzz
JOBS       ?= $(shell nproc)
FUZZ_SECONDS ?= 20

CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all deps configure build run test test-main test-asan test-fuzz bench package format clean

all: build

deps:
	@tools/install-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/app/glyptor

test: deps
	$(MAKE) test-main
	$(MAKE) test-asan
	$(MAKE) test-fuzz

test-main: configure
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Every test again under AddressSanitizer and UndefinedBehaviorSanitizer, the window's tests on
# the offscreen platform and the real program under Xvfb included. Leak checking stays on; the
# suppression file names only leaks of system libraries below Qt, so leaks of ours still fail.
SANITIZER_ENV = ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizers/lsan.supp:print_suppressions=0 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

test-asan:
	cmake -S . -B $(BUILD_ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DGLYPTOR_SANITIZE=ON \
	      -DGLYPTOR_WIDGETS=ON -DGLYPTOR_BENCH=OFF
	cmake --build $(BUILD_ASAN) -j $(JOBS)
	cd $(BUILD_ASAN) && $(SANITIZER_ENV) ctest --output-on-failure -j $(JOBS)

# Fuzz targets over their seed corpora, then a short time-bounded run each.
test-fuzz:
	CC=clang CXX=clang++ cmake -S . -B $(BUILD_FUZZ) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	      -DGLYPTOR_FUZZ=ON -DGLYPTOR_WIDGETS=OFF -DGLYPTOR_TESTS=OFF -DGLYPTOR_BENCH=OFF \
	      -DGLYPTOR_FUZZ_SECONDS=$(FUZZ_SECONDS)
	cmake --build $(BUILD_FUZZ) -j $(JOBS)
	cd $(BUILD_FUZZ) && ctest --output-on-failure -j $(JOBS) -L fuzz

bench: configure
	cmake --build $(BUILD) -j $(JOBS)
	bench/run-all.sh $(BUILD)

package: build
	cd $(BUILD) && cpack -G DEB

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_FUZZ)
