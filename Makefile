# The two commands of the project. Both install what is missing first.
.PHONY: demo check installer format clean

# make demo HEADLESS=1: the keyboard road on its own Xvfb even with a display.
demo:
	HEADLESS=$(HEADLESS) scripts/demo

check:
	scripts/check

# build/installer/quillon-setup.exe, the Windows installer.
installer:
	scripts/installer

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
