# Convenience wrapper around CMake and CTest.
#   make            release build into build/ (program: build/medconv)
#   make check      build and run every test but the valgrind ones
#   make valgrind   the program under valgrind over hostile inputs, in build-valgrind/
#   make sanitize   AddressSanitizer + UndefinedBehaviorSanitizer build and tests in build-asan/
#   make tsan       ThreadSanitizer build in build-tsan/ running the tests of parallel runs
#   make demo       convert the generated samples into out/
#   make install    install the program, its manual page and the data dictionary (PREFIX=/usr/local)
#   make bench      micro-benchmarks and whole-command comparisons
#   make fuzz       libFuzzer targets (clang) and their seed corpora in build-fuzz/
#   make fuzz-smoke each fuzz target for FUZZ_SECONDS (60) from its seeds; fails on any finding
# WERROR=1 turns compiler warnings into errors.

BUILD    ?= build
ASAN     ?= build-asan
FUZZ     ?= build-fuzz
FUZZ_SECONDS ?= 60
PYTHON   ?= /usr/bin/python3
TSAN     ?= build-tsan
VALGRIND ?= build-valgrind
# The tests that run the program on worker threads, and the report channels.
TSAN_TESTS ?= ParallelRunTest|CommandTest|Objects.ReportChannels|Report.TextForm
PREFIX   ?= /usr/local
WERROR   ?= 0
JOBS     ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS = -DMEDCONV_WERROR=$(if $(filter 1,$(WERROR)),ON,OFF)

.PHONY: all build check valgrind sanitize tsan demo install bench clean fuzz fuzz-smoke

all: build

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=$(PREFIX) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

check: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -LE valgrind

valgrind:
	cmake -S . -B $(VALGRIND) -DCMAKE_BUILD_TYPE=Release -DMEDCONV_VALGRIND_TESTS=ON $(CMAKE_FLAGS)
	cmake --build $(VALGRIND) -j $(JOBS) --target test_valgrind
	cd $(VALGRIND) && ctest --output-on-failure -L valgrind

sanitize:
	cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DMEDCONV_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build $(ASAN) -j $(JOBS)
	cd $(ASAN) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

tsan:
	cmake -S . -B $(TSAN) -DCMAKE_BUILD_TYPE=Debug -DMEDCONV_TSAN=ON $(CMAKE_FLAGS)
	cmake --build $(TSAN) -j $(JOBS)
	cd $(TSAN) && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	  ctest --output-on-failure -j $(JOBS) -R '$(TSAN_TESTS)'

demo: build
	./tools/demo.sh $(BUILD)/medconv out

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

bench:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DMEDCONV_BENCH=ON $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)
	./tools/bench/run.sh $(BUILD)
	./tools/bench/scaling.sh $(BUILD)

fuzz:
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMEDCONV_FUZZ=ON -DMEDCONV_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build $(FUZZ) -j $(JOBS)
	$(PYTHON) tests/fuzz/make_seeds.py $(FUZZ)

fuzz-smoke: fuzz
	tests/fuzz/run_fuzz.sh $(FUZZ) $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) $(ASAN) $(TSAN) $(FUZZ) $(VALGRIND) out
