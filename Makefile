# The two commands of the README:
#   make test   build everything and run the whole suite twice: a plain build,
#               then one with AddressSanitizer + UndefinedBehaviorSanitizer
#   make demo   build the command-line host and play its scenarios
JOBS ?= $(shell nproc)
CMAKE ?= cmake
BUILD ?= build
ASAN_BUILD ?= build-asan

.PHONY: all deps build test test-plain test-asan demo bench clean

all: build

# Installs the Debian packages that are missing; a no-op when all are there.
deps:
	bash scripts/install-deps.sh

build:
	$(CMAKE) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	$(CMAKE) --build $(BUILD) -j $(JOBS)

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

demo: deps
	$(MAKE) build
	@if [ -x scripts/demo.sh ]; then scripts/demo.sh $(BUILD); else echo "the demo comes with the command-line host"; fi

bench:
	$(CMAKE) -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DBTS_BUILD_BENCH=ON -DBTS_BUILD_TESTS=OFF
	$(CMAKE) --build build-bench -j $(JOBS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-bench
