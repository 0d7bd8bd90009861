# The two commands of the README:
#   make test   build everything and run the whole suite twice: a plain build,
#               then one with AddressSanitizer + UndefinedBehaviorSanitizer;
#               then the concurrency tests under ThreadSanitizer, the
#               whole-module scenarios under valgrind's memcheck, and each
#               fuzz target for FUZZ_SMOKE_SECONDS
#   make demo   build what the demo needs (the module, both kernel modules,
#               btshell, the seed generator), play btshell on the sample
#               seeds and move real bytes between two local peers
# Also: make fuzz [FUZZ_SECONDS=n]   run each fuzz target for n seconds
#       make bench                    the seed-decoding benchmarks
#       make bench-transfer           a 256 MiB transfer over loopback through a tracker:
#                                     btshell download, a plain libtorrent client, aria2c
#       make bench-create             btshell create beside mktorrent over a 1 GiB folder, and the SHA-1 floor
#       make bench-daemon             btshell daemon beside transmission-daemon, 1,000 torrents
#                                     over the RPC [DAEMON_BENCH_IDLE_SECONDS=n]
JOBS ?= $(shell nproc)
CMAKE ?= cmake
BUILD ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_SMOKE_SECONDS ?= 30
# The test binaries that hold the tests whose suite names contain
# "Concurrent": the only ones the ThreadSanitizer build makes.
CONCURRENT_TEST_BINARIES ?= test_com_utility test_common test_bt_shell test_btshell_unit test_kernel test_daemon_unit

.PHONY: all deps configure build test test-plain test-asan test-tsan test-leaks fuzz fuzz-build demo bench \
  bench-transfer bench-daemon bench-create clean

all: build

# Installs the Debian packages that are missing; a no-op when all are there.
deps:
	bash scripts/install-deps.sh

build:
	$(CMAKE) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	$(CMAKE) --build $(BUILD) -j $(JOBS)

# Configures $(BUILD) when it is not yet; after that the build itself runs
# CMake again when a CMake file changed.
configure:
	@test -f $(BUILD)/CMakeCache.txt || $(CMAKE) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

test: deps
	$(MAKE) test-plain test-asan test-tsan test-leaks
	$(MAKE) fuzz FUZZ_SECONDS=$(FUZZ_SMOKE_SECONDS)

test-plain: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# intercept_tls_get_addr=0: the leak checker of gcc 12 guesses where a
# dlopened module's thread-local block starts from a glibc 2.19 header that
# newer glibc no longer writes; when a block lands 16 bytes into a page it
# scans from a garbage address and dies at exit ("Tracer caught signal 11").
# No object of ours is owned only through a thread-local pointer.
test-asan:
	$(CMAKE) -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DBTS_SANITIZE=ON
	$(CMAKE) --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:intercept_tls_get_addr=0 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

test-tsan:
	$(CMAKE) -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBTS_TSAN=ON
	$(CMAKE) --build $(TSAN_BUILD) -j $(JOBS) --target $(CONCURRENT_TEST_BINARIES)
	cd $(TSAN_BUILD) && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$(CURDIR)/tests/tsan.supp \
	  ctest --output-on-failure -j $(JOBS) -R Concurrent

# The whole-module scenarios of the plain build under valgrind's memcheck.
test-leaks: build
	scripts/leak_check.sh $(BUILD)

fuzz-build:
	CC=clang CXX=clang++ $(CMAKE) -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBTS_FUZZ=ON \
	  -DBTS_BUILD_TESTS=OFF
	$(CMAKE) --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers

fuzz: fuzz-build
	fuzz/run_fuzzers.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# btshell depends on the module and both kernel modules: building it and the
# seed generator builds what the demo needs, and nothing of the test suites.
demo: deps
	@$(MAKE) --no-print-directory configure
	$(CMAKE) --build $(BUILD) -j $(JOBS) --target btshell bts_gen_seeds
	scripts/demo.sh $(BUILD)

bench:
	$(CMAKE) -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DBTS_BUILD_BENCH=ON -DBTS_BUILD_TESTS=OFF
	$(CMAKE) --build build-bench -j $(JOBS)

# A Release build of btshell, the kernel module, the seed generator and the
# plain libtorrent client of bench/; then the transfer benchmark.
bench-transfer: deps
	$(CMAKE) -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DBTS_BUILD_TESTS=OFF
	$(CMAKE) --build build-bench -j $(JOBS) --target btshell bts_gen_seeds bench_lt_client
	bench/transfer_bench.sh build-bench

# A Release build of btshell and the SHA-1 floor; then the create benchmark.
bench-create: deps
	$(CMAKE) -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DBTS_BUILD_TESTS=OFF
	$(CMAKE) --build build-bench -j $(JOBS) --target btshell bench_sha1_floor
	python3 bench/create_bench.py build-bench

# A Release build of btshell and the kernel module; then the daemon benchmark.
bench-daemon: deps
	$(CMAKE) -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DBTS_BUILD_TESTS=OFF
	$(CMAKE) --build build-bench -j $(JOBS) --target btshell
	python3 bench/daemon_bench.py build-bench

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD) build-bench
