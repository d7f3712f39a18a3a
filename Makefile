# Convenience front end to CMake.  `make run` builds and starts the engine,
# `make test` builds with warnings as errors and runs every test.
BUILD ?= build
TEST_BUILD ?= build-test
JOBS ?= $(shell nproc)

.PHONY: all build run test format check-format clean

all: build

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DVESK_TESTS=OFF >/dev/null
	cmake --build $(BUILD) -j$(JOBS)

run: build
	./$(BUILD)/vesk

test:
	./scripts/test-deps
	./scripts/check-format
	cmake -S . -B $(TEST_BUILD) -DCMAKE_BUILD_TYPE=Release -DVESK_WERROR=ON >/dev/null
	cmake --build $(TEST_BUILD) -j$(JOBS)
	cd $(TEST_BUILD) && ctest -j$(JOBS) --output-on-failure --timeout 900

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

check-format:
	./scripts/check-format

clean:
	rm -rf $(BUILD) $(TEST_BUILD)
