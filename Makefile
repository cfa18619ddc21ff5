# Zyfar: the two commands.
#   make run   installs what is missing, builds, starts Zyfar against a local demo FTP server
#   make test  installs what is missing, builds, runs every test
#   make test-asan   the whole test suite built with AddressSanitizer and UBSan (build-asan/)
#   make fuzz        the fuzz targets (clang 14, libFuzzer; build-fuzz/), FUZZ_TIME seconds each
BUILD_DIR ?= build
JOBS ?= 2
ASAN_DIR ?= build-asan
FUZZ_DIR ?= build-fuzz
FUZZ_TIME ?= 60
# ccache speeds rebuilds where it is installed; the build does not need it.
CCACHE := $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

.PHONY: run test deps build test-asan fuzz fuzz-build

run: build
	/usr/bin/python3 scripts/run-demo.py --zyfar $(BUILD_DIR)/src/ui/zyfar

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j$(JOBS)

deps:
	bash scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release $(CCACHE)
	cmake --build $(BUILD_DIR) -j$(JOBS)

SAN_FLAGS = -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer

test-asan: deps
	cmake -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DZYFAR_BUILD_BENCH=OFF \
	  -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DCMAKE_CXX_FLAGS="$(SAN_FLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$(SAN_FLAGS)" -DCMAKE_SHARED_LINKER_FLAGS="$(SAN_FLAGS)" $(CCACHE)
	cmake --build $(ASAN_DIR) -j$(JOBS)
	cd $(ASAN_DIR) && \
	  ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j$(JOBS)

fuzz-build:
	bash scripts/install-deps.sh --fuzz
	CC=clang-14 CXX=clang++-14 cmake -S fuzz -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CCACHE)
	cmake --build $(FUZZ_DIR) -j$(JOBS)

fuzz: fuzz-build
	bash fuzz/run.sh $(FUZZ_DIR) $(FUZZ_TIME)
