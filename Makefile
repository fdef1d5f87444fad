# The two commands of the project. Both install what is missing first.
.PHONY: demo check format clean

demo:
	scripts/demo

check:
	scripts/check

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
