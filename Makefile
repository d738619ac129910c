# Entry points: `make run` and `make test` do all the set-up on a fresh Debian 12 machine.
PRESET ?= default
BUILD_DIR ?= build
JOBS ?= $(shell nproc)

.PHONY: deps configure build run test test-sanitize coverage package fuzz soak attacks fault bench format clean

deps:
	@scripts/install-deps

configure: deps
	@cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	$(BUILD_DIR)/brimwick $(ARGS)

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 300

# A Debian package of the program: $(BUILD_DIR)/brimwick_<version>_amd64.deb.
package: build
	cd $(BUILD_DIR) && cpack -G DEB

# The whole suite under AddressSanitizer + UndefinedBehaviorSanitizer, then ThreadSanitizer. The
# ThreadSanitizer build leaves out the Qt face: Qt is not built with it, so its own threads look
# racy; libraries like libdbus are suppressed for the same reason.
SANITIZER_ENV = UBSAN_OPTIONS=print_stacktrace=1 \
  TSAN_OPTIONS="suppressions=$(CURDIR)/tests/sanitizers/tsan.supp second_deadlock_stack=1"
test-sanitize: deps
	@for preset in asan tsan; do \
	  start=$$(date +%s); \
	  cmake --preset $$preset >/dev/null && cmake --build build-$$preset -j $(JOBS) && \
	  (cd build-$$preset && $(SANITIZER_ENV) ctest --output-on-failure -j $(JOBS) --timeout 600) \
	    || exit 1; \
	  echo "== $$preset: $$(( $$(date +%s) - start )) s"; \
	done

# Line coverage of src/ per folder, from the whole suite on an unoptimised build (build-coverage/).
coverage: deps
	@scripts/install-deps debian-packages coverage-packages
	@cmake --preset coverage >/dev/null && cmake --build build-coverage -j $(JOBS)
	@find build-coverage -name '*.gcda' -delete
	@cd build-coverage && ctest -j $(JOBS) --timeout 600 --output-on-failure >/dev/null || \
	  echo "coverage: some tests failed; the figures count what ran"
	@scripts/coverage-by-folder build-coverage

# libFuzzer targets (clang): each runs FUZZ_SECONDS, its corpus shrunk into fuzz/corpus/<name>/.
FUZZ_SECONDS ?= 120
fuzz: deps
	@FUZZ_SECONDS=$(FUZZ_SECONDS) fuzz/run.sh

# Whole-application checks: 100,000 hook posts with phones watching, and SIGKILL during writes.
soak: build
	$(BUILD_DIR)/bench/soak

# Idle crowds on both ports and a flood of sessions, timing the hooks and the phone meanwhile.
attacks: build
	$(BUILD_DIR)/bench/attacks

fault: build
	$(BUILD_DIR)/bench/fault_kill

bench: build
	@scripts/install-deps debian-packages bench-packages
	@for b in $(BUILD_DIR)/bench/bench_*; do echo "== $$b"; $$b; done
	@for s in bench/*.sh; do echo "== $$s"; $$s; done

format:
	@clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD_DIR)
