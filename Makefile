# Thin wrapper around CMake and CTest.
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
JOBS       ?= $(shell nproc)
PREFIX     ?= /usr/local

# The browser engine runs as root here, and without a GPU.
ifeq ($(shell id -u),0)
WEBENGINE_ENV = QTWEBENGINE_DISABLE_SANDBOX=1 QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu --no-sandbox"
else
WEBENGINE_ENV = QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu"
endif

.PHONY: all deps build run test test-asan fuzz bench demo install package clean

all: build

deps:
	@bash scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	  echo "make run: no display found (DISPLAY is not set); start it from a desktop session or under xvfb-run." >&2; \
	  exit 1; \
	fi
	@$(WEBENGINE_ENV) $(BUILD)/bin/pixtrawl

# One display for every test: several xvfb-run started at once race for the same display number.
test: build
	@cd $(BUILD) && xvfb-run -a -s "-screen 0 1600x1200x24" ctest --output-on-failure -j $(JOBS)

test-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPXT_SANITIZE=ON -DPXT_WEBENGINE=OFF >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS) -L 'unit|widget'

# The parsers' libFuzzer targets (clang, ASan and UBSan), each run FUZZ_SECONDS on its corpus.
fuzz: deps
	@cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
	  -DCMAKE_CXX_COMPILER=clang++ -DPXT_FUZZ=ON -DPXT_WEBENGINE=OFF >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@bash fuzz/run $(FUZZ_BUILD)/bin $(FUZZ_SECONDS)

bench: build
	@cd $(BUILD) && $(WEBENGINE_ENV) xvfb-run -a -s "-screen 0 1600x1200x24" bash $(CURDIR)/bench/run-all $(CURDIR)/$(BUILD)/bin

# make install PREFIX=/usr (or any folder); DESTDIR is honoured as usual.
install: build
	@cmake --install $(BUILD) --prefix $(PREFIX)

# The .deb of the program, in $(BUILD).
package: build
	@cd $(BUILD) && cpack -G DEB

demo: build
	@$(WEBENGINE_ENV) bash scripts/demo $(CURDIR)/$(BUILD)/bin

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
