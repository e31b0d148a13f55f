# The two commands of the README: `make demo` and `make test`. Both install what is missing first.
PRESET ?= release
BUILD := build/$(PRESET)
JOBS ?= $(shell nproc)
# Extra ctest arguments, e.g. CTEST_ARGS="-L HttpSession" to run only some programs.
CTEST_ARGS ?=

.PHONY: all deps build test demo fuzz bench format clean package windows windows-test

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

# build/windows/zibbles.scr and build/windows/zibbles-setup-<version>.exe, cross-built for Windows
# (the third-party libraries once, into build/windows-deps). SIGN_CERT and SIGN_KEY, PEM files,
# sign the saver, its uninstaller and the installer.
SIGN_CERT ?=
SIGN_KEY ?=
windows: deps
	@scripts/windows-deps
	@cmake --preset windows -DZIBBLES_SIGN_CERT=$(if $(SIGN_CERT),$(abspath $(SIGN_CERT))) \
	  -DZIBBLES_SIGN_KEY=$(if $(SIGN_KEY),$(abspath $(SIGN_KEY))) >/dev/null
	@cmake --build --preset windows -j $(JOBS)

# The Windows build's tests under Wine; the Linux build gives their reference programs.
windows-test: windows build
	@ctest --preset windows -j $(JOBS) $(CTEST_ARGS)

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
