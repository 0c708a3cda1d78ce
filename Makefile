# The whole set-up on a fresh Debian 12 machine:
#   make run    installs what is missing, builds, starts Tarvo Studio
#   make test   installs what is missing, builds, runs every test
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps configure build test run tsan asan format tidy clean

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVO_WERROR=ON $(CMAKE_FLAGS)

configure: deps $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

run: build
	scripts/run.sh $(BUILD)

# The whole suite under ThreadSanitizer, and under Address- and
# UndefinedBehaviorSanitizer, each in a build folder of its own.
tsan: deps
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DTARVO_WERROR=ON -DTARVO_SANITIZE=thread
	cmake --build build-tsan -j $(JOBS)
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" ctest --test-dir build-tsan --output-on-failure -j $(JOBS) -LE 'e2e|install'

asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTARVO_WERROR=ON -DTARVO_SANITIZE=address,undefined
	cmake --build build-asan -j $(JOBS)
	UBSAN_OPTIONS="halt_on_error=1 print_stacktrace=1" ctest --test-dir build-asan --output-on-failure -j $(JOBS) -LE 'e2e|install'

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

tidy: configure
	git ls-files 'src/*.cpp' | xargs clang-tidy -p $(BUILD) --quiet

clean:
	rm -rf $(BUILD) build-tsan build-asan

# Installing: PREFIX (default /usr/local) is where it goes, DESTDIR stages the
# tree elsewhere (for a package or a chroot). `make uninstall` removes what the
# last install recorded in $(BUILD)/install_manifest.txt (give it the same
# DESTDIR). `make package` builds the Debian package in $(BUILD).
PREFIX ?= /usr/local

.PHONY: install uninstall package

install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

uninstall:
	DESTDIR="$(DESTDIR)" cmake -DTARVO_MANIFEST=$(BUILD)/install_manifest.txt -P cmake/Uninstall.cmake

package: build
	cmake --build $(BUILD) --target package
