# The front door. Every target installs what it needs first (scripts/install-deps).
.PHONY: run test bench package deps clean format

deps:
	@scripts/install-deps

run: deps
	@scripts/run

# The package tests make the RPM and the arm64 package too: their tools come first.
# PRESETS="native asan" leaves the Windows cross build out.
test:
	@scripts/install-deps --rpm --arm64
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
