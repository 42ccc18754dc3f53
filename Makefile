# Entry points for a new user: `make demo` and `make test` install what is
# missing, build and run. Everything builds into build/ (programs in build/bin).

BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
# Both builds compile through ccache when it is installed.
CCACHE := $(shell command -v ccache 2>/dev/null)
CCACHE_LAUNCHERS := $(if $(CCACHE),-DCMAKE_C_COMPILER_LAUNCHER=$(CCACHE) -DCMAKE_CXX_COMPILER_LAUNCHER=$(CCACHE))

# Debian packages the build, the tests and the demo need.
PACKAGES := cmake make g++ pkg-config libpcap-dev libgtest-dev libgmock-dev \
            qt6-base-dev iproute2 util-linux procps coreutils libcap2-bin tshark
# The upgrade history's database drivers, and the PostgreSQL server that the
# tests of a shared history start.
PACKAGES += libqt6sql6-sqlite libqt6sql6-psql postgresql
# Manual pages, the Debian packages and their checks, shell completion.
PACKAGES += groff-base man-db bsdextrautils dpkg-dev file lintian desktop-file-utils appstream bash-completion
# The sanitizer build and the fuzz targets (libFuzzer).
PACKAGES += clang libclang-rt-14-dev

.PHONY: all deps configure build test demo clean test-sanitize fuzz

all: build

deps:
	@missing=""; \
	for p in $(PACKAGES); do \
	    dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -z "$$missing" ]; then exit 0; fi; \
	if [ "$$(id -u)" = 0 ]; then \
	    echo "Installing:$$missing"; \
	    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	else \
	    echo "Missing packages. Run as root:"; \
	    echo "  apt-get update && apt-get install -y$$missing"; \
	    exit 1; \
	fi

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(CCACHE_LAUNCHERS)

configure: $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: deps
	$(MAKE) build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The demo shows the upgrade, not the build: no directory lines, and the
# build's own output only when it fails.
demo: deps
	@mkdir -p $(BUILD)
	@echo "== Building into $(BUILD)/ (a first build takes minutes; log: $(BUILD)/demo-build.log)"
	@$(MAKE) --no-print-directory build > $(BUILD)/demo-build.log 2>&1 || \
	    { tail -n 40 $(BUILD)/demo-build.log; echo "demo: the build failed (whole log: $(BUILD)/demo-build.log)"; exit 1; }
	@testbed/demo.sh $(BUILD)

# A factory line's batch: eight emulated devices upgraded at once, one failing.
.PHONY: demo-batch
demo-batch: deps
	@mkdir -p $(BUILD)
	@echo "== Building into $(BUILD)/ (log: $(BUILD)/demo-build.log)"
	@$(MAKE) --no-print-directory build > $(BUILD)/demo-build.log 2>&1 || \
	    { tail -n 40 $(BUILD)/demo-build.log; echo "demo-batch: the build failed (whole log: $(BUILD)/demo-build.log)"; exit 1; }
	@testbed/demo_batch.sh $(BUILD)

# The guides' pictures of the window, drawn offscreen by its test and copied
# into docs/.
.PHONY: screenshots
screenshots: build
	rm -rf $(BUILD)/docs/ndxupgrade-*.png
	cd $(BUILD) && ctest -R '^ndxupgrade_form_tests$$' --output-on-failure
	cp $(BUILD)/docs/ndxupgrade-*.png docs/

# Debian packages, into $(BUILD)/: hostlink-toolset and hostlink-toolset-testbed.
.PHONY: package
package: deps
	$(MAKE) build
	cd $(BUILD) && cpack -G DEB

# The sanitizer stage: a second build with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer (leak detection on) that runs the whole suite,
# and the libFuzzer programs built beside it (`make fuzz` runs each for
# FUZZ_TIME seconds).
SANITIZE_BUILD ?= build-asan
SANITIZE_FLAGS := -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer
SANITIZE_ENV := ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1
FUZZ_TIME ?= 60

$(SANITIZE_BUILD)/CMakeCache.txt:
	cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	    "-DCMAKE_C_FLAGS=$(SANITIZE_FLAGS)" "-DCMAKE_CXX_FLAGS=$(SANITIZE_FLAGS)" -DFUZZING=ON \
	    $(CCACHE_LAUNCHERS)

test-sanitize: deps
	$(MAKE) $(SANITIZE_BUILD)/CMakeCache.txt
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	cd $(SANITIZE_BUILD) && $(SANITIZE_ENV) ctest --output-on-failure -j $(JOBS)

fuzz: deps
	$(MAKE) $(SANITIZE_BUILD)/CMakeCache.txt
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	$(SANITIZE_ENV) fuzz/run_fuzzers.sh $(SANITIZE_BUILD) $(FUZZ_TIME)

# Checks a real device through a real interface (docs/bench.md: "Testing with real
# devices"). Not part of `make test`; NO_BUILD=1 skips the build step.
#   make test-hardware IFACE=eth1 MAC=0A:3F:71:00:00:07 [REMOTE=MAC] [FLASH=1] [YES=1]
.PHONY: test-hardware
test-hardware:
	@[ "$(NO_BUILD)" = 1 ] || $(MAKE) --no-print-directory build
	@IFACE="$(IFACE)" MAC="$(MAC)" REMOTE="$(REMOTE)" FLASH="$(FLASH)" YES="$(YES)" \
	    SCRATCH="$(SCRATCH)" SCRATCH_LEN="$(SCRATCH_LEN)" READS="$(READS)" KIT="$(KIT)" OUT="$(OUT)" \
	    sh testbed/hardware/hardware_test.sh --build $(BUILD)

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD)
