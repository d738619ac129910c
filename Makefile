# Entry points: `make run` and `make test` do all the set-up on a fresh Debian 12 machine.
PRESET ?= default
BUILD_DIR ?= build
JOBS ?= $(shell nproc)

.PHONY: deps configure build run test test-sanitize bench format clean

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

# The whole suite under AddressSanitizer + UndefinedBehaviorSanitizer, then ThreadSanitizer.
test-sanitize: deps
	@for preset in asan tsan; do \
	  cmake --preset $$preset >/dev/null && cmake --build build-$$preset -j $(JOBS) && \
	  (cd build-$$preset && ctest --output-on-failure -j $(JOBS) --timeout 600) || exit 1; \
	done

bench: build
	@for b in $(BUILD_DIR)/bench/bench_*; do echo "== $$b"; $$b; done
	@for s in bench/*.sh; do echo "== $$s"; $$s $(BUILD_DIR)/brimwick; done

format:
	@clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD_DIR)
