# The two commands of README.md, and the builds behind them.
#   make run      build Halodial and start it with its built-in virtual clock
#   make test     build and run every test (ThreadSanitizer run of the library,
#                 then the whole suite under AddressSanitizer + UBSan, with the
#                 install rules and the .deb)
#   make package  build halodial_<version>_<arch>.deb in build/release

BUILD      ?= build
GENERATOR  ?= Ninja
JOBS       ?= $(shell nproc)
# ccache, when installed, keeps rebuilds of the four build trees short.
LAUNCHER   := $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CTEST_ARGS ?= --output-on-failure --timeout 300 -j $(JOBS)

RELEASE_DIR := $(BUILD)/release
ASAN_DIR    := $(BUILD)/asan
TSAN_DIR    := $(BUILD)/tsan
FUZZ_DIR    := $(BUILD)/fuzz
# The descriptor and frame-parser targets (one thread, no queues) run a
# million inputs each. The request layer runs on one thread too but waits for
# real time-outs, so it gets a bounded time (as many inputs as fit), and its
# threaded twin, which can find what only crossing threads shows, a shorter one.
FUZZ_RUNS   ?= 1000000
FUZZ_FAST   := fuzz_descriptors fuzz_clock_frames fuzz_mqtt_payload
FUZZ_ARGS   ?= -max_total_time=60 -runs=1000000 -max_len=512
FUZZ_THREADED_ARGS ?= -max_total_time=30 -runs=200000 -max_len=512

.PHONY: all deps test-deps run build package test asan tsan fuzz bench screenshots clean

all: build

# What building and running need; the test tools come only with test-deps.
deps:
	@./scripts/install-deps

test-deps:
	@./scripts/install-deps --test

$(RELEASE_DIR)/build.ninja: | deps
	cmake -S . -B $(RELEASE_DIR) -G $(GENERATOR) $(LAUNCHER) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHALODIAL_BUILD_TESTS=OFF -DHALODIAL_BUILD_BENCH=OFF

$(ASAN_DIR)/build.ninja: | test-deps
	cmake -S . -B $(ASAN_DIR) -G $(GENERATOR) $(LAUNCHER) -DCMAKE_BUILD_TYPE=Debug "-DHALODIAL_SANITIZE=address;undefined" -DHALODIAL_BUILD_BENCH=OFF

$(TSAN_DIR)/build.ninja: | test-deps
	cmake -S . -B $(TSAN_DIR) -G $(GENERATOR) $(LAUNCHER) -DCMAKE_BUILD_TYPE=Debug -DHALODIAL_SANITIZE=thread -DHALODIAL_BUILD_APP=OFF -DHALODIAL_BUILD_BENCH=OFF

build: deps $(RELEASE_DIR)/build.ninja
	cmake --build $(RELEASE_DIR)

run: build
	$(RELEASE_DIR)/Sources/halodial --simulate

# Depends computed by dpkg-shlibdeps from the release binaries.
package: build
	cmake --build $(RELEASE_DIR) --target package

tsan: test-deps $(TSAN_DIR)/build.ninja
	cmake --build $(TSAN_DIR)
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" ctest --test-dir $(TSAN_DIR) $(CTEST_ARGS)

asan: test-deps $(ASAN_DIR)/build.ninja
	cmake --build $(ASAN_DIR)
	ctest --test-dir $(ASAN_DIR) $(CTEST_ARGS)

$(FUZZ_DIR)/build.ninja: | test-deps
	CXX=clang++ cmake -S . -B $(FUZZ_DIR) -G $(GENERATOR) $(LAUNCHER) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHALODIAL_FUZZ=ON -DHALODIAL_BUILD_APP=OFF -DHALODIAL_BUILD_TESTS=OFF -DHALODIAL_BUILD_BENCH=OFF

# The corpus grows in the build directory from run to run; the log is shown
# only when the fuzzer finds something.
fuzz: test-deps $(FUZZ_DIR)/build.ninja
	cmake --build $(FUZZ_DIR)
	@set -e; for t in $(FUZZ_FAST); do \
		[ -x $(FUZZ_DIR)/fuzz/$$t ] || { echo "fuzz: $$t not built"; exit 1; }; \
		mkdir -p $(FUZZ_DIR)/corpus-$$t; \
		ASAN_OPTIONS=quarantine_size_mb=64 $(FUZZ_DIR)/fuzz/$$t -runs=$(FUZZ_RUNS) -max_len=4096 -artifact_prefix=$(FUZZ_DIR)/$$t- $(FUZZ_DIR)/corpus-$$t \
			> $(FUZZ_DIR)/$$t.log 2>&1 || { tail -n 60 $(FUZZ_DIR)/$$t.log; exit 1; }; \
		echo "$$t: $$(tail -n 1 $(FUZZ_DIR)/$$t.log)"; \
	done
	mkdir -p $(FUZZ_DIR)/corpus
	$(FUZZ_DIR)/fuzz/fuzz_request_layer $(FUZZ_ARGS) -artifact_prefix=$(FUZZ_DIR)/layer- $(FUZZ_DIR)/corpus \
		> $(FUZZ_DIR)/fuzz_request_layer.log 2>&1 || { tail -n 60 $(FUZZ_DIR)/fuzz_request_layer.log; exit 1; }
	@echo "fuzz_request_layer: $$(tail -n 1 $(FUZZ_DIR)/fuzz_request_layer.log)"
	$(FUZZ_DIR)/fuzz/fuzz_request_queue $(FUZZ_THREADED_ARGS) -artifact_prefix=$(FUZZ_DIR)/ $(FUZZ_DIR)/corpus \
		> $(FUZZ_DIR)/fuzz_request_queue.log 2>&1 || { tail -n 60 $(FUZZ_DIR)/fuzz_request_queue.log; exit 1; }
	@echo "fuzz_request_queue: $$(tail -n 1 $(FUZZ_DIR)/fuzz_request_queue.log)"

# The ThreadSanitizer run goes first so that the output ends with the summary
# of the whole suite.
test: tsan fuzz asan

# The benchmark library is a test tool: the release tree gains the benchmarks
# only here.
bench: test-deps build
	cmake -S . -B $(RELEASE_DIR) -DHALODIAL_BUILD_BENCH=ON
	cmake --build $(RELEASE_DIR) --target benchmarks

# The README's pictures: Halodial with its virtual clock, open and in sync,
# on a virtual X server; the program saves both windows and quits.
# With a settings folder of its own, so that the pictures show the defaults
# and the user's settings stay as they are.
screenshots: test-deps $(RELEASE_DIR)/build.ninja
	cmake --build $(RELEASE_DIR) --target halodial
	scripts/take-screenshots $(RELEASE_DIR)/Sources/halodial docs

clean:
	rm -rf $(BUILD)
