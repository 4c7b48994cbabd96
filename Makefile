# Two entry points for a newcomer: `make run` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: deps configure build run test bench clean package package-check test-asan fuzz

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

configure: deps $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/src/app/zorled

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

bench: build
	for b in $(BUILD)/bench/bench_*; do QT_QPA_PLATFORM=offscreen $$b; done

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer, in its own folder; only
# two libraries' process-lifetime caches are suppressed (scripts/lsan.supp names them).
ASAN_BUILD ?= build-asan
test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORLED_SANITIZE=ON -DZORLED_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen \
	  ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

# libFuzzer harnesses (clang), each run FUZZ_SECONDS on its own corpus in $(FUZZ_BUILD).
FUZZ_BUILD ?= fuzz-build
FUZZ_SECONDS ?= 60
FUZZERS ?= pagetext picture textlist commatext wraptext
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DZORLED_FUZZ=ON -DZORLED_GUI=OFF -DZORLED_TESTS=OFF \
	  -DZORLED_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target $(addprefix fuzz_,$(FUZZERS))
	scripts/run-fuzzers $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZERS)

# The Debian package is built in its own folder with the /usr prefix, which is what tells the
# installed program to keep its files in the user's data folder.
# It is compiled with Debian's hardening flags, as dpkg-buildflags gives them to a package build.
PACKAGE_BUILD ?= build-package
DEB_FLAGS = $(shell DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get $(1))
package: deps
	cmake -S . -B $(PACKAGE_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
	  -DZORLED_TESTS=OFF -DZORLED_BENCH=OFF \
	  -DCMAKE_C_FLAGS="$(call DEB_FLAGS,CPPFLAGS) $(call DEB_FLAGS,CFLAGS)" \
	  -DCMAKE_CXX_FLAGS="$(call DEB_FLAGS,CPPFLAGS) $(call DEB_FLAGS,CXXFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$(call DEB_FLAGS,LDFLAGS)" -DCMAKE_SHARED_LINKER_FLAGS="$(call DEB_FLAGS,LDFLAGS)" \
	  -DCMAKE_MODULE_LINKER_FLAGS="$(call DEB_FLAGS,LDFLAGS)"
	cmake --build $(PACKAGE_BUILD) -j $(JOBS)
	cd $(PACKAGE_BUILD) && cpack -G DEB
	@ls $(PACKAGE_BUILD)/zorled_*.deb

# Installs the package on a fresh Debian 12 root and uses it there (root, debootstrap, a mirror).
package-check: package
	scripts/package-check $(PACKAGE_BUILD)/zorled_*.deb $(PACKAGE_BUILD)/check

clean:
	rm -rf --one-file-system $(BUILD) $(PACKAGE_BUILD)
