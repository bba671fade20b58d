# Thin wrapper over CMake. `make run` sizes a bundled circuit, `make test` runs every test.
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)
EXAMPLE ?= c7552
RUN_DIR ?= run

.PHONY: all build run test test-sanitize clean

all: build

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

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test-sanitize:
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTAMBRIL_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(RUN_DIR)
