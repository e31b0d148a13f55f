# The two commands of the README: `make demo` and `make test`. Both install what is missing first.
PRESET ?= release
BUILD := build/$(PRESET)
JOBS ?= $(shell nproc)
# Extra ctest arguments, e.g. CTEST_ARGS="-L HttpSession" to run only some programs.
CTEST_ARGS ?=

.PHONY: all deps build test demo fuzz bench format clean package

all: build

deps:
	@scripts/install-deps

build: deps
	@cmake --preset $(PRESET) >/dev/null
	@cmake --build --preset $(PRESET) -j $(JOBS)

test: build
	@ctest --preset $(PRESET) -j $(JOBS) $(CTEST_ARGS)

# build/release/zibbles_<version>_<arch>.deb, from the release build.
package: build
	@cmake --build --preset $(PRESET) --target package

demo: build
	@scripts/demo $(BUILD)

fuzz: deps
	@scripts/fuzz $(or $(SECONDS_PER_TARGET),20)

bench: build
	@scripts/bench $(BUILD)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
