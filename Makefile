# Zyfar: the two commands.
#   make run   installs what is missing, builds, starts Zyfar against a local demo FTP server
#   make test  installs what is missing, builds, runs every test
BUILD_DIR ?= build
JOBS ?= 2

.PHONY: run test deps build

run: build
	/usr/bin/python3 scripts/run-demo.py --zyfar $(BUILD_DIR)/src/ui/zyfar

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j$(JOBS)

deps:
	bash scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD_DIR) -j$(JOBS)
