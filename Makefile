# Builds the shipped program, dist/win32/vxwipe.exe (PE32, i686), and runs it under Wine.
BUILD := build
DIST := dist

.PHONY: all deps test demo clean benchmark fuzz

all: deps
	scripts/build.sh

deps:
	scripts/install-deps.sh

# The probe comes first: where Wine cannot start 32-bit programs, the build adds the
# x86_64 twin and the tests, the demonstration and the benchmark run it instead, through
# Wine's 64-bit loader alone (see docs/machines.md). WINE32=no makes any machine such a one.
test: deps
	scripts/probe-wine32.sh
	scripts/build.sh --tests
	/usr/bin/python3 scripts/check-shipped.py dist/win32/vxwipe.exe
	scripts/analyse.sh
	scripts/run-tests.sh

demo: deps
	scripts/probe-wine32.sh
	scripts/build.sh --demo
	scripts/demo.sh

# Generated hostile worlds: make fuzz WORLDS=n SEED=s LANES=k (see docs/worlds.md).
fuzz: deps
	scripts/probe-wine32.sh
	scripts/build.sh --tests
	scripts/fuzz.sh "$(or $(WORLDS),100)" "$(or $(SEED),1)" "$(or $(LANES),2)"

# Timings of the uninstall against a bare baseline and an NSIS uninstaller (see docs/benchmark.md).
benchmark: deps
	scripts/probe-wine32.sh
	scripts/build.sh --bench
	scripts/benchmark.sh

clean:
	rm -rf $(BUILD) $(DIST)
