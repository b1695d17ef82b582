# Top-level entry points. `make test` and `make demo` work on a fresh Debian machine as root:
# they install what is missing, configure, build and run.
#
# Two builds: $(BUILD) holds the development build with AddressSanitizer and UndefinedBehavior-
# Sanitizer and the tests (`make build`, `make test`); $(RELEASE) holds the release build for
# users, optimised and without sanitizers (`make release`, `make demo`, `make bench`).
# `make format-check` checks every tracked C and C++ file against .clang-format; WERROR=ON makes
# the release build fail on any compiler warning (CI builds it so).

BUILD        ?= build
RELEASE      ?= build-release
FUZZBUILD    ?= build-fuzz
JOBS         ?= $(shell nproc)
FUZZ_SECONDS ?= 15
# Fuzz targets run side by side, each in one process with its own bounds.
FUZZ_JOBS    ?= $(JOBS)
# Run bound per fuzz target; empty means the script's default, -1 the time bound only.
FUZZ_RUNS    ?=
# ON: the release build treats compiler warnings as errors.
WERROR       ?= OFF

# Debian packages the build, the tests and the benchmarks use, and the fonts the demo asks
# fontconfig for.
PACKAGES = cmake ninja-build g++ make pkg-config python3 libgtest-dev libgmock-dev \
           libbenchmark-dev zlib1g-dev clang clang-format libclang-rt-14-dev \
           libsdl2-dev libx11-dev libavformat-dev libavcodec-dev libswscale-dev libswresample-dev \
           libavutil-dev libfreetype-dev libfontconfig-dev libpng-dev libjpeg-dev ttf-bitstream-vera \
           fonts-dejavu-core
# Independent tools and libraries that tests and benchmarks compare the player with.
PACKAGES += libpixman-1-dev libcairo2-dev python3-cairo imagemagick netpbm xvfb xauth xdotool \
           x11-utils xclip ffmpeg sox libsox-fmt-all libjpeg-turbo-progs pngcheck pngquant openmpt123 \
           nginx-light python3-pyftpdlib curl libcurl4-openssl-dev xfonts-base python3-fonttools zenity \
           python3-pygame

.PHONY: all deps configure build test format-check release-configure release demo bench fuzz fuzz-smoke oom-sweep clean

all: build

deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  if [ "$$(id -u)" != 0 ]; then echo "Run as root to install:$$missing" >&2; exit 1; fi; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $$missing; \
	fi

# Debugging information is line tables only (-g1): sanitizer reports and stacks still name every
# function, file and line, and the objects are much smaller to write and link.
$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" \
	  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1" -DQZ_SANITIZE=ON -DQZ_TESTS=ON

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS) --timeout 300

# Every tracked C and C++ file as .clang-format formats it; lists the places that differ.
format-check: deps
	@git ls-files -z '*.c' '*.cpp' '*.h' | xargs -0 -n 50 -P $(JOBS) clang-format --dry-run --Werror

# The release build is configured the same way for the player and for the benchmarks, so `make
# demo` and `make bench` share $(RELEASE) without reconfiguring it for each other.
release-configure: deps
	cmake -S . -B $(RELEASE) -G Ninja -DCMAKE_BUILD_TYPE=Release -DQZ_SANITIZE=OFF -DQZ_TESTS=OFF -DQZ_BENCH=ON \
	  -DQZ_WERROR=$(WERROR)

# The player and its tools, optimised and without sanitizers: what users run and link.
release: release-configure
	cmake --build $(RELEASE) -j $(JOBS) --target qzplayer qzasm qzdis qzlink

demo: release
	@sh demos/run-demo.sh $(RELEASE)

bench: release-configure
	cmake --build $(RELEASE) -j $(JOBS)
	@sh bench/run-benchmarks.sh $(RELEASE)

$(FUZZBUILD)/build.ninja: | deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZBUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" \
	  -DQZ_SANITIZE=OFF -DQZ_TESTS=OFF -DQZ_FUZZ=ON

# A short run of every fuzz target under the coverage-guided engine (`make test` runs them
# without it, in the sanitizer build). Only the fuzz targets are built.
fuzz-smoke: deps $(FUZZBUILD)/build.ninja
	cmake --build $(FUZZBUILD) -j $(JOBS) --target qz_fuzz_targets
	@FUZZ_RUNS=$(FUZZ_RUNS) FUZZ_JOBS=$(FUZZ_JOBS) sh fuzz/run-fuzzers.sh $(FUZZBUILD) $(FUZZ_SECONDS)

# The whole allocation-failure sweep (tests/oom/oom_sweep.h): every player invocation of the
# end-to-end tests is run once per allocation it makes, failing that one. `make test` runs the
# small set; this runs every allocation, split into OOM_PASSES passes of the end-to-end tests so
# that no single invocation runs too long. Failures go to $(BUILD)/oom-sweep/report.txt.
OOM_PASSES ?= 20
oom-sweep: build
	@rm -f $(BUILD)/oom-sweep/report.txt $(BUILD)/oom-sweep/log.txt
	@failed=0; for pass in $$(seq 1 $(OOM_PASSES)); do \
	  echo "Allocation-failure sweep, pass $$pass of $(OOM_PASSES)"; \
	  (cd $(BUILD) && QZ_OOM_PASS=$$pass/$(OOM_PASSES) QZ_OOM_REPORT=$(abspath $(BUILD))/oom-sweep/report.txt \
	    QZ_OOM_LOG=$(abspath $(BUILD))/oom-sweep/log.txt ctest -L oom -j $(JOBS) --timeout 3600 --output-on-failure) \
	    || failed=1; \
	done; \
	awk -v passes=$(OOM_PASSES) '{ count += $$1; runs += $$2; bad += $$3 } \
	  END { printf "Swept %d invocations of end-to-end applets: %d allocations, %d runs, %d failed\n", \
	        NR / passes, count / passes, runs, bad }' $(BUILD)/oom-sweep/log.txt; \
	test $$failed = 0

# A longer fuzzing run: make fuzz FUZZ_SECONDS=3600
fuzz: FUZZ_SECONDS = 600
fuzz: FUZZ_RUNS = -1
fuzz: fuzz-smoke

clean:
	rm -rf $(BUILD) $(RELEASE) $(FUZZBUILD)
