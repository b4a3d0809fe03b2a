# Builds the shipped program (dist/win32) and its 64-bit twin (dist/win64).
BUILD := build
DIST := dist

.PHONY: all deps test demo clean benchmark

all: deps
	scripts/build.sh

deps:
	scripts/install-deps.sh

test: deps
	scripts/build.sh --tests
	/usr/bin/python3 scripts/check-shipped.py dist/win32/vxwipe.exe
	scripts/analyse.sh
	scripts/run-tests.sh

demo: deps
	scripts/build.sh --tests
	scripts/demo.sh

# Timings of the uninstall against a bare baseline and an NSIS uninstaller (see README).
benchmark: deps
	scripts/build.sh
	scripts/benchmark.sh

clean:
	rm -rf $(BUILD) $(DIST)
