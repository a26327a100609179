# Front door over CMake. `make run` and `make test` work on a fresh Debian 12 machine as root.
BUILD      ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=
PREFIX     ?= /usr/local
DESTDIR    ?=

.PHONY: all deps configure build programs run test package install bench fuzz screenshots clean

all: build

deps:
	@sh scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_ARGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# Only the programs the package holds, not the tests.
programs: configure
	@cmake --build $(BUILD) -j $(JOBS) --target programs

run: build
	@mkdir -p demo
	@cd demo && ../$(BUILD)/app/kvtdemo && ../$(BUILD)/app/kvt

test: build
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The Debian package kvt_<version>_<arch>.deb, left in this folder: apt install ./kvt_*.deb
package: programs
	@rm -f kvt_*.deb
	@cd $(BUILD) && cpack -G DEB -B "$$PWD/package" >/dev/null
	@cp $(BUILD)/package/kvt_*.deb .
	@ls kvt_*.deb

# The files of the package under $(DESTDIR)$(PREFIX): programs, desktop entry, icon.
install: programs
	@DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)" --strip

bench: deps
	@cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DKVT_BENCH=ON >/dev/null
	@cmake --build build-bench -j $(JOBS)
	@sh bench/run.sh build-bench

fuzz: deps
	@sh tests/expcalc/run-fuzz.sh

screenshots: build
	@sh scripts/screenshots.sh $(BUILD)

clean:
	rm -rf $(BUILD) build-bench build-fuzz kvt_*.deb
