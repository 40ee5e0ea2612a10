# The two commands a user needs: `make run` and `make test`. Both set up what is missing first.
BUILD      ?= build
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: all deps build run test bench dropouts test-asan test-tsan fuzz soak screenshot package test-package clean

all: build

deps:
	@bash scripts/deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# From the program's own folder: the list is kept there, and sounds dropped from it are found.
run: build
	cd $(BUILD) && ./sorvane

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Engine benchmarks, then under Xvfb and a private server of each installed kind: what a waiting
# board costs and how fast it starts (IDLE_PEER names another build to measure beside it), how late
# its audio thread wakes, key-to-sound latency (quick presses, then the first key after 30 s of
# quiet), and the dropout meter with DROPOUT_SECONDS per case (default 600: about 2 h 20 min with
# both servers, 12 cases). About 3 h in all.
bench: build
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DSORVANE_BUILD_BENCH=ON -DSORVANE_BUILD_TESTS=OFF
	cmake --build build-bench -j $(JOBS)
	bash scripts/bench.sh build-bench
	bash scripts/idle.sh $(BUILD) -- $(if $(IDLE_PEER),--peer $(IDLE_PEER))
	bash scripts/wakeups.sh $(BUILD)
	bash scripts/latency.sh $(BUILD)
	bash scripts/latency.sh $(BUILD) "" 20 30
	DROPOUT_SECONDS=$(or $(DROPOUT_SECONDS),600) bash scripts/dropouts.sh $(BUILD)

# The dropout meter alone, short: DROPOUT_SECONDS per case (default 30), DROPOUT_VOICES (default "1 8 38").
dropouts: build
	DROPOUT_SECONDS=$(or $(DROPOUT_SECONDS),30) DROPOUT_VOICES="$(or $(DROPOUT_VOICES),1 8 38)" bash scripts/dropouts.sh $(BUILD)

# Unit and GUI tests under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DSORVANE_SANITIZE=address $(CMAKE_ARGS)
	cmake --build build-asan -j $(JOBS)
	cd build-asan && LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp ctest --output-on-failure -j $(JOBS) -LE e2e

# Engine and service tests under ThreadSanitizer.
test-tsan: deps
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DSORVANE_SANITIZE=thread -DSORVANE_BUILD_UI=OFF $(CMAKE_ARGS)
	cmake --build build-tsan -j $(JOBS)
	# Under ThreadSanitizer the audio thread runs many times slower than real time, so how a start
	# sounds at the sink says nothing there: that test judges the real build in `make test`.
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j $(JOBS) -E '^QuietOutputTest\.'

# Bounded libFuzzer runs (clang, ASan+UBSan) of the list reader, the command grammar and the
# decoder, one after the other: FUZZ_SECONDS per fuzzer (default 60), FUZZERS to pick some.
fuzz:
	FUZZ_SECONDS=$(or $(FUZZ_SECONDS),60) bash scripts/fuzz.sh

# Random board operations on all 38 slots against the real media service on the null output,
# for SOAK_SECONDS (default 600); prints memory growth and underruns. SOAK_OUTPUT=device plays
# to a private sound server of each installed kind and listens for dropouts at its sink. A tool,
# not a test: it is built with the benchmarks.
soak: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DSORVANE_BUILD_BENCH=ON -DSORVANE_BUILD_TESTS=OFF
	SOAK_SECONDS=$(or $(SOAK_SECONDS),600) bash scripts/soak.sh build-bench

# The Debian package, sorvane_<version>_amd64.deb in build-package: a Release build with
# Debian's hardening flags, stripped, under /usr, its dependencies worked out by dpkg-shlibdeps.
package:
	@SORVANE_PACKAGING=1 bash scripts/deps.sh
	export DEB_BUILD_MAINT_OPTIONS=hardening=+all && \
	cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DSORVANE_BUILD_TESTS=OFF \
	  -DCMAKE_CXX_FLAGS="$$(dpkg-buildflags --get CPPFLAGS) $$(dpkg-buildflags --get CXXFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$$(dpkg-buildflags --get LDFLAGS)"
	cmake --build build-package -j $(JOBS)
	rm -f build-package/sorvane_*.deb
	cd build-package && cpack

# The package checked (lintian, the desktop entry and AppStream validators), installed with
# apt-get, started from its menu entry and removed; as root or through sudo, and never where a
# sorvane package of the user's own is installed.
test-package: package
	bash tests/package/package_test.sh build-package/sorvane_*.deb
	bash tests/package/refusal_test.sh build-package/sorvane_*.deb

clean:
	rm -rf build build-asan build-tsan build-bench build-fuzz build-package
