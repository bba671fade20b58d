# Thin wrapper over CMake. `make run` sizes a bundled circuit, `make test` runs every test; on
# a fresh machine with g++, CMake and GoogleTest, `make test` first installs the Debian
# packages that the tests use (tools/setup).
BUILD ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
JOBS ?= $(shell nproc)
EXAMPLE ?= c7552
RUN_DIR ?= run

.PHONY: all setup build run test test-sanitize test-tsan clean

all: build

setup:
	tools/setup

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

run: build
	mkdir -p $(RUN_DIR)
	cp examples/param.txt $(RUN_DIR)/param.txt
	cd $(RUN_DIR) && ../$(BUILD)/tambril ../examples/$(EXAMPLE).net $(EXAMPLE).result
	@echo
	@echo "Result file:     $(RUN_DIR)/$(EXAMPLE).result"
	@echo "Convergence log: $(RUN_DIR)/convergence.txt"

test: setup build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test-sanitize: setup
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTAMBRIL_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# The tests that run the optimiser on several threads, under ThreadSanitizer: Clang, with
# LLVM's OpenMP runtime and its Archer tool (packages clang and libomp-dev).
test-tsan:
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DTAMBRIL_TSAN=ON
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target tambril_tests
	TSAN_OPTIONS="ignore_noninstrumented_modules=1 halt_on_error=1" \
	  ctest --test-dir $(TSAN_BUILD) --output-on-failure -j $(JOBS) -R '^Threads\.|^regression'

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(RUN_DIR)
