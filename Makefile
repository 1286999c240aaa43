# make demo   an installation and an uninstallation on a fresh simulated machine,
#             then the Windows build of Install.exe
# make test   every test: unit, conformance, scenario (also under ASan/UBSan),
#             a short run of each fuzz target, and Install.exe under Wine
# make bench  the benchmarks
# make fuzz   each fuzz target for FUZZ_SECONDS (default 600) seconds
# make valgrind  the scenario suite with every installer run under memcheck
# make msi    build/windows/Vormo.msi from the sample distribution (DIST=folder for
#             a real one); MSI_VERSION=major.minor[.build] (default Install.exe's),
#             MSI_PRODUCT_CODE={GUID} (default: derived from the version);
#             signed, the package too, when a certificate is given (see below)
# make sign   signs build/windows/Install.exe and VormoCheck.exe in place
#             (SIGN_PFX=file.pfx, or SIGN_CERT=chain.pem SIGN_KEY=key.pem;
#             SIGN_PASSWORD_FILE; SIGN_TIMESTAMP=url, or SIGN_TSA_CERT and
#             SIGN_TSA_KEY for a local time-stamping authority; docs/deployment.md)

JOBS ?= 2
# The test suites make and remove thousands of small machine folders; in
# memory (tmpfs) that takes a fraction of the time it takes on a disk.
TEST_TMPDIR ?= $(shell [ -d /dev/shm ] && [ -w /dev/shm ] && echo /dev/shm || echo $${TMPDIR:-/tmp})
FUZZ_SHORT ?= 20
FUZZ_SECONDS ?= 600
export SIGN_PFX SIGN_CERT SIGN_KEY SIGN_PASSWORD_FILE SIGN_TIMESTAMP SIGN_TSA_CERT SIGN_TSA_KEY SIGN_DESCRIPTION SIGN_URL

.PHONY: all setup host host-asan fuzz-build windows demo test test-host test-asan test-fuzz test-packaging test-wine \
        fuzz valgrind bench msi sign clean

all: host

setup:
	@bash scripts/setup.sh

host: setup
	@cmake --preset host >/dev/null
	@cmake --build build/host -j$(JOBS)

host-asan: setup
	@cmake --preset host-asan >/dev/null
	@cmake --build build/host-asan -j$(JOBS)

fuzz-build: setup
	@cmake --preset fuzz >/dev/null
	@cmake --build build/fuzz -j$(JOBS)

windows: setup
	@cmake --preset windows >/dev/null
	@cmake --build build/windows -j$(JOBS)

# The demo needs the installer and winsim only; each build's output goes to a
# log under build/, shown when the build fails.
demo: setup
	@mkdir -p build
	@echo "Building the installer, the pre-flight check and winsim (log: build/demo-build.log) ..."
	@{ cmake --preset host && cmake --build build/host -j$(JOBS) --target Install VormoCheck winsim; } \
	  > build/demo-build.log 2>&1 || { cat build/demo-build.log; exit 1; }
	@bash scripts/demo.sh
	@echo
	@echo "Building Install.exe and VormoCheck.exe for Windows (log: build/windows-build.log) ..."
	@{ cmake --preset windows && cmake --build build/windows -j$(JOBS) --target Install VormoCheck; } \
	  > build/windows-build.log 2>&1 || { cat build/windows-build.log; exit 1; }
	@echo "For Windows: $(CURDIR)/build/windows/Install.exe and $(CURDIR)/build/windows/VormoCheck.exe"

test-host: host
	@TMPDIR=$(TEST_TMPDIR) ctest --test-dir build/host --output-on-failure -j$(JOBS)

test-asan: host-asan
	@TMPDIR=$(TEST_TMPDIR) ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build/host-asan --output-on-failure -j$(JOBS)

test-fuzz: fuzz-build
	@TMPDIR=$(TEST_TMPDIR) bash scripts/fuzz.sh $(FUZZ_SHORT) $(JOBS)

fuzz: fuzz-build
	@TMPDIR=$(TEST_TMPDIR) bash scripts/fuzz.sh $(FUZZ_SECONDS) $(JOBS)

valgrind: host
	@bash scripts/valgrind.sh $(JOBS)

test-packaging: windows
	@bash tests/packaging/check_package.sh

test-wine: windows host
	@bash tests/wine/run_all.sh

test: test-host test-asan test-fuzz test-packaging test-wine

msi: windows
	@bash packaging/build-msi.sh $(if $(DIST),-d "$(DIST)") $(if $(MSI_VERSION),-v "$(MSI_VERSION)") \
	  $(if $(MSI_PRODUCT_CODE),-p "$(MSI_PRODUCT_CODE)") $(if $(SIGN_PFX)$(SIGN_CERT),-s)

sign: windows
	@bash packaging/sign.sh

bench: setup
	@cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build build/bench -j$(JOBS) --target installer_bench Install VormoCheck winsim
	@build/bench/installer_bench

clean:
	rm -rf build
