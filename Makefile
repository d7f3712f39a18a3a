# Convenience front end to CMake.  `make run` builds and starts the engine,
# `make test` runs every test once in a build with warnings as errors, then the
# engine-code tests again under the address/undefined-behaviour checker, and the
# multi-threaded UCI tests under the thread checker.
BUILD ?= build
TEST_BUILD ?= build-test
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
JOBS ?= $(shell nproc)

# Any checker report ends the process with code 66 and fails the step.
SAN_SUPP := $(CURDIR)/scripts/sanitizers
SAN_ENV := ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:exitcode=66 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1:exitcode=66:suppressions=$(SAN_SUPP)/ubsan.supp \
	TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1 suppressions=$(SAN_SUPP)/tsan.supp"
# What the checked build adds: the engine code under the checker. Left out: the
# long move-generation counts and the stockfish oracle (random games drive the
# same code under it), and the timed smoke match (the UCI session plays too).
ASAN_SKIP := unit.Perft.PublishedSuite|process.oracle_perft_session|process.smoke_match_session

# Installation: `make install` puts bin/vesk and share/man/man6/vesk.6 under
# PREFIX; DESTDIR (for packaging) is put in front of every installed path.
PREFIX ?= /usr/local

.PHONY: all build run test test-asan test-tsan format check-format clean install uninstall

all: build

# `make EXE=name` also leaves a copy of the engine called `name` beside this
# Makefile, as testing frameworks (OpenBench) expect.
ifneq ($(strip $(EXE)),)
all: $(EXE)
.PHONY: $(EXE)
$(EXE): build
	cp $(BUILD)/vesk $(EXE)
endif

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DVESK_TESTS=OFF >/dev/null
	cmake --build $(BUILD) -j$(JOBS)

run: build
	@echo "Vesk speaks UCI: type uci, isready, position startpos, go depth 10, quit."
	@echo "For people: ./$(BUILD)/vesk -c (then help). More: ./$(BUILD)/vesk --help, README.md."
	@./$(BUILD)/vesk

test:
	./scripts/test-deps
	./scripts/check-format
	cmake -S . -B $(TEST_BUILD) -DCMAKE_BUILD_TYPE=Release -DVESK_WERROR=ON >/dev/null
	cmake --build $(TEST_BUILD) -j$(JOBS)
	cd $(TEST_BUILD) && ctest -j$(JOBS) --output-on-failure --timeout 900
	@grep -h "^SKIP " $(TEST_BUILD)/Testing/Temporary/LastTest.log | sort -u || true
	$(MAKE) --no-print-directory test-asan test-tsan

# Unit and process tests built with AddressSanitizer + UndefinedBehaviorSanitizer.
# Warnings are judged by the normal build above: instrumented code at another
# optimisation level draws false flow-based warnings from the compiler.
test-asan:
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_CXX_COMPILER=g++ -DCMAKE_BUILD_TYPE=Release \
		-DVESK_WERROR=OFF -DVESK_SANITIZE=address >/dev/null
	$(SAN_ENV) cmake --build $(ASAN_BUILD) -j$(JOBS)
	cd $(ASAN_BUILD) && $(SAN_ENV) ctest -j$(JOBS) --output-on-failure --timeout 900 -E '$(ASAN_SKIP)'

# The engine built with ThreadSanitizer, driven with several search threads.
test-tsan:
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_CXX_COMPILER=g++ -DCMAKE_BUILD_TYPE=Release \
		-DVESK_WERROR=OFF -DVESK_TESTS=OFF -DVESK_SANITIZE=thread >/dev/null
	cmake --build $(TSAN_BUILD) -j$(JOBS) --target vesk
	$(SAN_ENV) VESK_SANITIZE=thread VESK_DATA_DEFAULT=$(CURDIR)/../shared/data PYTHONPATH=tests/support \
		python3 tests/shell/uci_session.py $(TSAN_BUILD)/vesk threads || [ $$? -eq 77 ]

install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

uninstall:
	rm -f $(DESTDIR)$(PREFIX)/bin/vesk $(DESTDIR)$(PREFIX)/share/man/man6/vesk.6

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

check-format:
	./scripts/check-format

clean:
	rm -rf $(BUILD) $(TEST_BUILD) $(ASAN_BUILD) $(TSAN_BUILD)
