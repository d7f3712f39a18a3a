# Convenience front end to CMake.  `make run` builds and starts the engine,
# `make test` runs every test once in a build with warnings as errors, then the
# engine-code tests again under the address/undefined-behaviour checker, and the
# multi-threaded UCI tests under the thread checker.
#
# The engine of `make build` / `make run` is optimised with a profile: an
# instrumented build ($(PGO_BUILD)) runs a short benchmark and perft, and the
# final build uses what it measured, with link-time optimisation and as a
# position-dependent executable. clang (with llvm-profdata) makes the faster
# engine and is used when installed, g++ otherwise (PGO_CXX=g++ forces it).
# `make plain` (or PGO=0) builds the engine the ordinary way; the tests always
# use ordinary builds.
BUILD ?= build
PGO_BUILD ?= build-pgo
PGO ?= 1
PGO_CXX ?= $(shell command -v clang++ >/dev/null 2>&1 && command -v llvm-profdata >/dev/null 2>&1 \
	&& echo clang++ || echo g++)
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

.PHONY: all build plain run test test-asan test-tsan format check-format clean install uninstall

# Configures build directory $(1) for compiler $(2) with options $(3); a
# directory configured for another compiler starts afresh (CMake would keep
# only the compiler of a command line that changes it).
define configure
	@if [ -f $(1)/CMakeCache.txt ] && \
		! grep -q "^CMAKE_CXX_COMPILER:[A-Z]*=$$(command -v $(2))$$" $(1)/CMakeCache.txt; then \
		rm -rf $(1)/CMakeCache.txt $(1)/CMakeFiles; fi
	cmake -S . -B $(1) -DCMAKE_CXX_COMPILER=$(2) $(3) >/dev/null
endef

all: build

# `make EXE=name` also leaves a copy of the engine called `name` beside this
# Makefile, as testing frameworks (OpenBench) expect.
ifneq ($(strip $(EXE)),)
all: $(EXE)
.PHONY: $(EXE)
$(EXE): build
	cp $(BUILD)/vesk $(EXE)
endif

ifeq ($(PGO),1)
build:
	$(call configure,$(PGO_BUILD),$(PGO_CXX),-DCMAKE_BUILD_TYPE=Release -DVESK_TESTS=OFF -DVESK_LTO=ON -DVESK_NOPIE=ON \
		-DVESK_PGO=generate -DVESK_PGO_DIR=$(CURDIR)/$(PGO_BUILD)/profile)
	cmake --build $(PGO_BUILD) -j$(JOBS)
	./scripts/pgo-train $(PGO_BUILD)
	$(call configure,$(BUILD),$(PGO_CXX),-DCMAKE_BUILD_TYPE=Release -DVESK_TESTS=OFF -DVESK_LTO=ON -DVESK_NOPIE=ON \
		-DVESK_PGO=use -DVESK_PGO_DIR=$(CURDIR)/$(PGO_BUILD)/profile)
	cmake --build $(BUILD) -j$(JOBS)
else
build: plain
endif

plain:
	$(call configure,$(BUILD),c++,-DCMAKE_BUILD_TYPE=Release -DVESK_TESTS=OFF -DVESK_LTO=OFF -DVESK_NOPIE=OFF \
		-DVESK_PGO=)
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
	rm -rf $(BUILD) $(PGO_BUILD) $(TEST_BUILD) $(ASAN_BUILD) $(TSAN_BUILD)
