# The two commands of the README:
#   make test   build everything and run the whole suite twice: a plain build,
#               then one with AddressSanitizer + UndefinedBehaviorSanitizer
#   make demo   build what the demo needs (the module, the stand-in kernel
#               module, btshell) and play btshell on the sample seeds
JOBS ?= $(shell nproc)
CMAKE ?= cmake
BUILD ?= build
ASAN_BUILD ?= build-asan

.PHONY: all deps configure build test test-plain test-asan demo bench clean

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
	$(MAKE) test-plain test-asan

test-plain: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan:
	$(CMAKE) -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DBTS_SANITIZE=ON
	$(CMAKE) --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

# btshell depends on the module and the stand-in kernel module: building it
# builds the three, and nothing of the test suites.
demo: deps
	@$(MAKE) --no-print-directory configure
	$(CMAKE) --build $(BUILD) -j $(JOBS) --target btshell
	scripts/demo.sh $(BUILD)

bench:
	$(CMAKE) -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DBTS_BUILD_BENCH=ON -DBTS_BUILD_TESTS=OFF
	$(CMAKE) --build build-bench -j $(JOBS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-bench
