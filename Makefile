# Wraps CMake. `make demo` and `make test` install what they need first.
BUILD    ?= build
WINBUILD ?= build-win
JOBS     ?= $(shell nproc 2>/dev/null || echo 2)
NEED      = sh cmake/need-packages.sh

BUILD_PKGS = cmake make g++ pkg-config libfltk1.3-dev
TEST_PKGS  = $(BUILD_PKGS) libgtest-dev googletest imagemagick xvfb xauth xdotool x11-utils \
             g++-mingw-w64-i686 wine wine32:i386 python3
BENCH_PKGS = $(BUILD_PKGS) python3

.PHONY: all build demo test windows bench clean

all: build

build:
	@$(NEED) $(BUILD_PKGS)
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DUVPAINT_TESTS=OFF
	cmake --build $(BUILD) -j $(JOBS)

windows:
	@$(NEED) cmake make g++-mingw-w64-i686
	cmake -S . -B $(WINBUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release
	cmake --build $(WINBUILD) -j $(JOBS)

demo: build
	sh samples/demo.sh $(BUILD)/shell/uvpaint

test:
	@$(NEED) $(TEST_PKGS)
	$(MAKE) windows
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DUVPAINT_TESTS=ON -DUVPAINT_WINDOWS_EXE=$(abspath $(WINBUILD))/shell/uvpaint.exe
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench:
	@$(NEED) $(BENCH_PKGS)
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DUVPAINT_TESTS=OFF
	cmake --build $(BUILD) -j $(JOBS) --target uvbench
	sh bench/run.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(WINBUILD)
