# The two commands of the project. Both install what is missing first.
.PHONY: demo check fuzz installer format clean

# make demo HEADLESS=1: the keyboard road on its own Xvfb even with a display.
demo:
	HEADLESS=$(HEADLESS) scripts/demo

check:
	scripts/check

# Long fuzzing runs: make fuzz [FUZZ_SECONDS=600] [FUZZERS="fuzz_reader ..."]
fuzz:
	FUZZ_SECONDS=$(FUZZ_SECONDS) FUZZERS="$(FUZZERS)" scripts/fuzz

# build/installer/quillon-setup.exe, the Windows installer.
installer:
	scripts/installer

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
