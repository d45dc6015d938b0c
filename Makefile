# VX-410 scan-job suite: build on Linux with MinGW-w64, run under Wine.
#   make demo   run a scan job end to end on the simulated VX-410
#   make demo-corvid  open corvid, the job list tool, with a few jobs (on
#               $DISPLAY, else on a private Xvfb with a picture saved)
#   make test   install what is missing, build everything, run every test
#   make soak   ten minutes of back-to-back jobs with random faults
#   make package  the Windows Installer package, build/windows/package/*.msi
SHELL := /bin/bash
JOBS ?= 2
FUZZ_SECONDS ?= 15

DEB_PACKAGES := wine64 libwine-dev g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix \
	g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix \
	mingw-w64-tools xvfb cmake make g++ clang libclang-rt-14-dev googletest libgtest-dev \
	libbenchmark-dev libtiff-tools libtiff-dev libjpeg-turbo-progs libjpeg-dev qpdf \
	poppler-utils python3 ghostscript xdotool imagemagick pkg-config python3-aiosmtpd openssl dovecot-pop3d \
	locales fp-utils wixl msitools libssl-dev libicu-dev icc-profiles-free dpkg-dev ccache
# Text recognition in the PDF maker: the engine for the host build and tests,
# the ten languages' data, and the fonts and tools its tests render and read with.
DEB_PACKAGES += libtesseract-dev libleptonica-dev tesseract-ocr-jpn tesseract-ocr-eng \
	tesseract-ocr-spa tesseract-ocr-fra tesseract-ocr-deu tesseract-ocr-ita tesseract-ocr-nld \
	tesseract-ocr-chi-sim tesseract-ocr-chi-tra fonts-noto-cjk fonts-dejavu-core mupdf-tools
# The compression benchmark reads its pages back with text recognition.
DEB_PACKAGES += tesseract-ocr

.PHONY: all deps build build-windows build-native test test-native test-windows fuzz fuzz-long \
	soak bench demo demo-corvid format clean package

all: build

deps:
	@missing=$$(for p in $(DEB_PACKAGES); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | \
		grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
		echo "installing:" $$missing; \
		if [ $$(id -u) -ne 0 ]; then SUDO=sudo; else SUDO=; fi; \
		$$SUDO apt-get update -qq && \
		DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq --no-install-recommends $$missing; \
	fi
	@# The Windows build fetches the OCR engine's sources with apt-get source.
	@bash tools/ocr-engine/enable-deb-src.sh

build/windows/CMakeCache.txt:
	cmake --preset windows >/dev/null
build/native/CMakeCache.txt:
	cmake --preset native >/dev/null

# VLM_OCR_JOBS: the OCR engine's own build (once per source version) keeps to JOBS too.
build-windows: build/windows/CMakeCache.txt
	VLM_OCR_JOBS=$(JOBS) cmake --build build/windows -j$(JOBS)
build-native: build/native/CMakeCache.txt
	cmake --build build/native -j$(JOBS)
build: build-native build-windows
package: deps build/windows/CMakeCache.txt
	VLM_OCR_JOBS=$(JOBS) cmake --build build/windows -j$(JOBS) --target msi

test-native: build-native
	cd build/native && ctest --output-on-failure -j$(JOBS)
# One ctest job per Wine lane (VLM_WINE_LANES in the build's cache, default 2):
# each lane has its own prefix and wineserver, its tests run one by one.
# The tests expect English texts unless they ask for a locale themselves, so
# the user's own locale is not passed on.
test-windows: build-windows
	cd build/windows && lanes=$$(sed -n 's/^VLM_WINE_LANES:[A-Z]*=//p' CMakeCache.txt) && \
		LC_ALL=C.UTF-8 LANG=C.UTF-8 ctest --output-on-failure -LE '^(bench|soak)$$' -j$${lanes:-1}
test: deps
	$(MAKE) build
	$(MAKE) test-native
	$(MAKE) test-windows
	$(MAKE) fuzz

# Ten minutes of back-to-back jobs with random faults (VLM_SOAK_SEED repeats a
# run; make test runs one minute of it).
soak: build-windows
	cd build/windows && LC_ALL=C.UTF-8 LANG=C.UTF-8 ctest --output-on-failure -V -L '^soak$$'

# Short fuzz runs (part of make test); fuzz-long for a proper session.
fuzz: deps
	cmake --preset fuzz >/dev/null
	cmake --build build/fuzz -j$(JOBS)
	cd build/fuzz && VLM_FUZZ_SECONDS=$(FUZZ_SECONDS) ctest --output-on-failure -L fuzz
# Hunting runs: every target (or those FUZZ_ONLY, a ctest regex, names) for
# FUZZ_LONG_SECONDS (an hour by default) from a random seed, FUZZ_LANES
# targets at a time. Findings are left as crash-* files in build/fuzz; a
# reproducer belongs in its target's seed corpus. docs/fuzzing.md keeps the
# hours run per target.
FUZZ_LONG_SECONDS ?= 3600
FUZZ_LANES ?= 1
FUZZ_ONLY ?= .
fuzz-long: deps
	cmake --preset fuzz >/dev/null
	cmake --build build/fuzz -j$(JOBS)
	cd build/fuzz && VLM_FUZZ_SEED=0 VLM_FUZZ_SECONDS=$(FUZZ_LONG_SECONDS) \
		ctest --output-on-failure -V -L fuzz -R '$(FUZZ_ONLY)' -j$(FUZZ_LANES) --timeout $$(( $(FUZZ_LONG_SECONDS) + 600 ))

# Benchmarks: the portable ones optimised natively, whole jobs under Wine in
# the windows tree.
bench: deps
	cmake --preset bench >/dev/null
	cmake --build build/bench -j$(JOBS)
	cd build/bench && ctest --output-on-failure -L bench -V
	$(MAKE) build-windows
	cd build/windows && ctest --output-on-failure -L bench -V

demo: deps build-windows
	bash tools/demo.sh

demo-corvid: deps build-windows
	bash tools/demo-corvid.sh $(if $(LANG_DEMO),--lang $(LANG_DEMO))

format:
	git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format -i

clean:
	-for p in build/windows/wineprefix*; do [ -d "$$p" ] && \
		VLM_BUILD=$$PWD/build/windows VLM_WINEPREFIX=$$PWD/$$p bash tools/wine-env.sh stop; done
	rm -rf build
