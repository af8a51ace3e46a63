# The front door. Every target installs what it needs first (scripts/install-deps).
.PHONY: run test bench package deps clean format

deps:
	@scripts/install-deps

run: deps
	@scripts/run

# PRESETS="native asan" leaves the Windows cross build out.
test: deps
	@scripts/run-tests $(PRESETS)

bench: deps
	@scripts/run-bench $(BENCH)

# The Windows installer and zip, the amd64 and arm64 Debian packages and the RPM, into build/packages/.
package: deps
	@scripts/package

format:
	@clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build
