# Wraps CMake. `make demo` and `make test` install what they need first.
BUILD    ?= build
WINBUILD ?= build-win
WIN64BUILD ?= build-win64
SANBUILD ?= build-san
TSANBUILD ?= build-tsan
JOBS     ?= $(shell nproc 2>/dev/null || echo 2)
NEED      = sh cmake/need-packages.sh

BUILD_PKGS = cmake make g++ pkg-config libfltk1.3-dev zlib1g-dev
TEST_PKGS  = $(BUILD_PKGS) libgtest-dev googletest imagemagick xvfb xauth xdotool x11-utils \
             libgtk2.0-0 g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32:i386 wine64 python3 \
             clang libclang-rt-14-dev pngcheck librsvg2-bin libz-mingw-w64-dev lintian dpkg-dev
BENCH_PKGS = $(BUILD_PKGS) python3 gzip
FUZZ_PKGS  = cmake make clang libclang-rt-14-dev zlib1g-dev
FUZZBUILD    ?= build-fuzz
FUZZ_SECONDS ?= 60

PREFIX   ?= /usr/local

.PHONY: all build demo test test-sanitize test-threads windows windows64 bench bench-inputs bench-formats clean fuzz install package

all: build

build:
	@$(NEED) $(BUILD_PKGS)
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DUVPAINT_TESTS=OFF
	cmake --build $(BUILD) -j $(JOBS)

# The program, man page, completion, desktop entry and icons under PREFIX
# (DESTDIR is honoured).
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# A .deb in $(BUILD), its dependencies read off the program by dpkg-shlibdeps.
package: build
	@$(NEED) dpkg-dev
	cd $(BUILD) && cpack -G DEB

windows:
	@$(NEED) cmake make g++-mingw-w64-i686 libz-mingw-w64-dev
	cmake -S . -B $(WINBUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release
	cmake --build $(WINBUILD) -j $(JOBS)

# The same program as 64-bit, which the tests run under Wine on a machine
# that cannot run 32-bit code.
windows64:
	@$(NEED) cmake make g++-mingw-w64-x86-64 libz-mingw-w64-dev
	cmake -S . -B $(WIN64BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release
	cmake --build $(WIN64BUILD) -j $(JOBS)

demo: build
	sh samples/demo.sh $(BUILD)/shell/uvpaint

test:
	@$(NEED) $(TEST_PKGS)
	$(MAKE) windows
	@# Wine runs the 32-bit program where the machine runs 32-bit code (its
	@# loader starts), else the 64-bit one; the 32-bit file is checked either way.
	if /lib/ld-linux.so.2 --version > /dev/null 2>&1; then \
	    cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DUVPAINT_TESTS=ON \
	          -DUVPAINT_WINDOWS_EXE=$(abspath $(WINBUILD))/shell/uvpaint.exe -DUVPAINT_WINDOWS_PRODUCT=; \
	else \
	    $(MAKE) windows64 && \
	    cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DUVPAINT_TESTS=ON \
	          -DUVPAINT_WINDOWS_EXE=$(abspath $(WIN64BUILD))/shell/uvpaint.exe \
	          -DUVPAINT_WINDOWS_PRODUCT=$(abspath $(WINBUILD))/shell/uvpaint.exe; \
	fi
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	$(MAKE) test-sanitize
	$(MAKE) test-threads
	$(MAKE) fuzz

# Every Linux test again, built with AddressSanitizer, LeakSanitizer and
# UBSan: any error they find stops the program and fails its test. The Wine
# tests need the Windows program and run in `make test` only. The job handles
# a refused allocation itself, so the allocator returns null.
SAN_ENV = ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1 \
          LSAN_OPTIONS=suppressions=$(abspath tests/sanitize/lsan.supp):print_suppressions=0 \
          UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

test-sanitize:
	@$(NEED) $(TEST_PKGS)
	cmake -S . -B $(SANBUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g" \
	      "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g" -DUVPAINT_TESTS=ON -DUVPAINT_SANITIZE=ON -DUVPAINT_WINDOWS_EXE=
	cmake --build $(SANBUILD) -j $(JOBS)
	cd $(SANBUILD) && $(SAN_ENV) ctest --output-on-failure -j $(JOBS)

# The tests of the reader, the painting and the finishing, which share their
# work among threads, again under ThreadSanitizer: a data race fails them.
# The self-check makes sure a race is caught.
TSAN_ENV = TSAN_OPTIONS=halt_on_error=1:allocator_may_return_null=1

test-threads:
	@$(NEED) $(TEST_PKGS)
	cmake -S . -B $(TSANBUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g" \
	      "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g" -DUVPAINT_TESTS=ON -DUVPAINT_THREADSAN=ON -DUVPAINT_WINDOWS_EXE=
	cmake --build $(TSANBUILD) -j $(JOBS) --target mesh_tests raster_tests job_tests sancheck
	cd $(TSANBUILD) && $(TSAN_ENV) ctest --output-on-failure -R '^threadsan'
	$(TSAN_ENV) $(TSANBUILD)/tests/mesh/mesh_tests
	$(TSAN_ENV) $(TSANBUILD)/tests/raster/raster_tests
	$(TSAN_ENV) $(TSANBUILD)/tests/job/job_tests

bench:
	@$(NEED) $(BENCH_PKGS)
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DUVPAINT_TESTS=OFF
	cmake --build $(BUILD) -j $(JOBS) --target uvbench
	sh bench/run.sh $(BUILD)

# Compressed meshes against zcat, and libraries of 10,000 materials.
bench-inputs:
	@$(NEED) $(BENCH_PKGS)
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DUVPAINT_TESTS=OFF
	cmake --build $(BUILD) -j $(JOBS) --target uvbench
	sh bench/inputs.sh $(BUILD)

# PNG, SVG, the UV check and tiles beside the BMP runs they answer to.
bench-formats:
	@$(NEED) $(BENCH_PKGS)
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DUVPAINT_TESTS=OFF
	cmake --build $(BUILD) -j $(JOBS) --target uvbench
	sh bench/formats.sh $(BUILD)

# libFuzzer with AddressSanitizer and UBSan: each target for FUZZ_SECONDS.
fuzz:
	@$(NEED) $(FUZZ_PKGS)
	cmake -S . -B $(FUZZBUILD) -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DUVPAINT_TESTS=OFF -DUVPAINT_FUZZ=ON
	cmake --build $(FUZZBUILD) -j $(JOBS) --target fuzz_obj fuzz_cr2 fuzz_mtl fuzz_run
	sh tests/fuzz/run.sh $(FUZZBUILD) $(FUZZ_SECONDS) fuzz_obj fuzz_cr2 fuzz_mtl fuzz_run

clean:
	rm -rf $(BUILD) $(WINBUILD) $(WIN64BUILD) $(SANBUILD) $(TSANBUILD) $(FUZZBUILD)
