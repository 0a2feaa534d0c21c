# Top-level commands. Each one installs what is missing, configures and builds
# what it needs, then runs.
#   make test   - build everything and run the whole test suite, the
#                 shipped i686 build's part in a 32-bit root (tools/i686-root.sh)
#   make demo   - build the installer and run it in Wine
#   make i686   - the shipped 32-bit installer, build/i686/Tablewright8Setup.exe,
#                 and its test programs (I686_TESTS=OFF: the installer alone)
#   make bench  - performance measurements (never part of the tests)
#   make fuzz   - libFuzzer targets in build/fuzz, each run FUZZ_SECONDS (300)

BUILD      := build
DEPS       := $(BUILD)/deps
HOST       := $(BUILD)/host
X64        := $(BUILD)/x64
I686       := $(BUILD)/i686
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=
FUZZ_SECONDS ?= 300
# Signing (cmake/signing.cmake): SIGN_CERT (PEM with SIGN_KEY, or PKCS#12),
# optional SIGN_PASSWORD_FILE and SIGN_TIMESTAMP_URL. Without SIGN_CERT the
# build is unsigned, also after a signed one.
SIGN_ARGS   = "-DVT_SIGN_CERT=$(if $(SIGN_CERT),$(abspath $(SIGN_CERT)))" \
    "-DVT_SIGN_KEY=$(if $(SIGN_KEY),$(abspath $(SIGN_KEY)))" \
    "-DVT_SIGN_PASSWORD_FILE=$(if $(SIGN_PASSWORD_FILE),$(abspath $(SIGN_PASSWORD_FILE)))" \
    "-DVT_SIGN_TIMESTAMP_URL=$(SIGN_TIMESTAMP_URL)"
# The tools that the Windows builds need, when not all of them are wanted.
HOST_TARGETS ?=
# The i686 build's test programs; OFF builds the shipped installer alone.
I686_TESTS ?= ON

.PHONY: all setup host x64 i686 test demo bench fuzz clean

all: x64 i686

setup:
	@sh tools/setup-host.sh $(DEPS)

host: setup
	@cmake -S tools -B $(HOST) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(HOST) -j $(JOBS) $(if $(HOST_TARGETS),--target $(HOST_TARGETS))

x64: host
	@cmake -S . -B $(X64) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
	    -DCMAKE_BUILD_TYPE=Release -DVT_DEPS_DIR=$(abspath $(DEPS)) \
	    -DVT_HOST_BUILD_DIR=$(abspath $(HOST)) $(SIGN_ARGS) $(CMAKE_ARGS) >/dev/null
	@cmake --build $(X64) -j $(JOBS)

i686: host
	@cmake -S . -B $(I686) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
	    -DCMAKE_BUILD_TYPE=Release -DVT_DEPS_DIR=$(abspath $(DEPS)) \
	    -DVT_HOST_BUILD_DIR=$(abspath $(HOST)) -DVT_BUILD_TESTS=$(I686_TESTS) $(SIGN_ARGS) $(CMAKE_ARGS) >/dev/null
	@cmake --build $(I686) -j $(JOBS)

test: x64 i686
	@cd $(HOST) && ctest --output-on-failure
	@sh tools/check-pe32.sh $(I686)/Tablewright8Setup.exe $(I686)/demo/demo-payload.bz2 $(HOST)/vt-pack \
	    $(X64)/demo/demo-payload.bz2 $(X64)/Tablewright8Setup.exe $(I686)/demo/Uninstall.exe $(X64)/demo/Uninstall.exe
	@MAKE="$(MAKE)" sh tools/vendor-installer.sh $(BUILD)
	@MAKE="$(MAKE)" JOBS=$(JOBS) sh tools/reproducible-build.sh $(BUILD)
	@cd $(X64) && xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j 2
	@sh tools/i686-root.sh >/dev/null
	@cd $(I686) && xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j 2

demo: x64
	@sh tools/demo.sh $(X64)

bench: x64
	@sh tools/bench.sh $(X64)

fuzz: setup
	@sh tools/fuzz/fuzz.sh $(BUILD)/fuzz $(FUZZ_SECONDS)

clean:
	rm -rf $(HOST) $(X64) $(I686) $(BUILD)/fuzz
