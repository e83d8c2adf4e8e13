# The two set-up commands: `make run` and `make test`; `make package` builds
# the Debian package into $(BUILD_DIR); `make test-debian13` tests on Debian 13.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)
# More ctest options, e.g. CTEST_ARGS="-LE usb" to leave out the USB guest test.
CTEST_ARGS ?=

.PHONY: run test test-debian13 deps configure build install package clean

deps:
	@scripts/install-deps.sh

configure: deps
	@if [ ! -f $(BUILD_DIR)/build.ninja ]; then \
	  cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS); \
	fi

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS) $(CTEST_ARGS)

run: build
	@scripts/run-ostrel.sh $(BUILD_DIR)/bin

install: build
	cmake --install $(BUILD_DIR)

# The same tests, the package and its checks in a Debian 13 chroot (needs root;
# the chroot is kept in /var/cache/ostrel and made anew when its packages change).
test-debian13:
	@scripts/test-in-chroot.sh trixie

package: build
	cmake --build $(BUILD_DIR) --target package

clean:
	rm -rf $(BUILD_DIR)
