#!/usr/bin/env bash
# The arm64 Debian package, cross-built with the arm64 preset into a folder of
# the test's own, and its programs run under qemu-user (Debian's qemu-aarch64,
# with the arm64 loader and libraries of multiarch).
#
#   arm64_package_test.sh STEP SOURCE_DIR WORK_DIR NATIVE_SIM AMD64_ROOT
#
# STEP: build, lintian, files, scene or snapshot. NATIVE_SIM is this build's
# velmora-sim, AMD64_ROOT the unpacked amd64 package of debian_package_test.sh.
# Exit status 0 for a pass, 77 for a skip, anything else for a failure, with
# the reason on stderr.
set -euo pipefail

step=$1
source=$2
work=$3
native_sim=$4
amd64_root=$5
root="$work/root"
. "$(dirname "$0")/package_tools.sh"

the_deb() { the_package 'velmora_*_arm64.deb'; }

programs=(usr/libexec/xscreensaver/velmora usr/bin/velmora-snapshot usr/bin/velmora-sim)

[ "$step" = build ] || skip_when_the_build_was_skipped

case "$step" in
build)
  rm -rf "$work"
  mkdir -p "$work"
  need_packages --arm64
  log="$work/build.log"
  start=$(date +%s)
  { (cd "$source" && cmake --preset arm64 -B "$work/build") && cmake --build "$work/build" -j"$(nproc)"; } >"$log" 2>&1 ||
    { tail -n 60 "$log" >&2; fail "the arm64 build failed (all of it in $log)"; }
  echo "the arm64 programs built in $(($(date +%s) - start)) s" >&2
  make_and_unpack_deb "$work/build/CPackConfig.cmake"
  ;;

lintian)
  deb=$(the_deb)
  lintian --fail-on error,warning "$deb" >&2 || fail "lintian reports errors or warnings"
  ;;

files)
  the_deb >/dev/null
  [ -d "$amd64_root" ] || fail "no unpacked amd64 package in $amd64_root"
  arm64_files=$(cd "$root" && find . | sort)
  amd64_files=$(cd "$amd64_root" && find . | sort)
  [ "$arm64_files" = "$amd64_files" ] ||
    fail "the arm64 package's layout differs from the amd64 one's (< arm64, > amd64): $(diff <(echo "$arm64_files") <(echo "$amd64_files"))"
  for program in "${programs[@]}"; do
    file -b "$root/$program" | grep -q 'ELF 64-bit LSB .*ARM aarch64' || fail "/$program is not an arm64 program: $(file -b "$root/$program")"
  done
  grep -qx 'Architecture: arm64' "$work/control" || fail "the package's architecture is not arm64: $(cat "$work/control")"
  grep -qx 'Recommends: xscreensaver' "$work/control" || fail "the package does not recommend xscreensaver"
  depends=$(sed -n 's/^Depends: //p' "$work/control")
  for library in libc6 libx11-6 libpng16-16 'libglx0\|libgl1' libwayland-client0 libwayland-egl1 libegl1 \
    libopengl0; do
    grep -q "\b\($library\)\b" <<<"$depends" || fail "the computed dependencies miss $library: $depends"
  done
  ! grep -qi 'osmesa' <<<"$depends" || fail "the package depends on OSMesa: $depends"
  # dpkg-shlibdeps read arm64 libraries: every package named is one of
  # Debian's arm64 archive.
  names=$(tr ',|' '\n\n' <<<"$depends" | sed 's/(.*//; s/[[:space:]]//g' | sort -u)
  # apt-cache fails on a name it does not know: that name is reported below.
  known=$({ apt-cache show --no-all-versions $(sed 's/$/:arm64/' <<<"$names") 2>/dev/null || true; } |
    awk '$1 == "Package:" { name = $2 } $1 == "Architecture:" && $2 == "arm64" { print name }' | sort -u)
  for name in $names; do
    grep -qx "$name" <<<"$known" || fail "the dependency $name is not a package of the arm64 archive"
  done
  ;;

scene)
  the_deb >/dev/null
  # Every seed of the committed golden table, run well past its last
  # checkpoint; every cycle's figures must be this build's, and the table's
  # checkpoints the table's.
  table="$source/tests/scene/golden_checksums.cpp"
  checkpoints=$(grep -oE '\{[0-9]+, [0-9]+, 0x[0-9a-f]{16}ull\}' "$table" | tr -d '{},' | sed 's/ull$//; s/0x//') ||
    fail "no checkpoints found in $table"
  for seed in $(awk '{ print $1 }' <<<"$checkpoints" | sort -un); do
    arguments=(--seed "$seed" --cycles 6000 --every 1)
    qemu-aarch64 "$root/usr/bin/velmora-sim" "${arguments[@]}" >"$work/sim-$seed.arm64" 2>&1 ||
      fail "velmora-sim ${arguments[*]} fails under qemu: $(tail -n 3 "$work/sim-$seed.arm64")"
    "$native_sim" "${arguments[@]}" >"$work/sim-$seed.amd64" 2>&1 || fail "this build's velmora-sim ${arguments[*]} fails"
    cmp -s "$work/sim-$seed.arm64" "$work/sim-$seed.amd64" ||
      fail "seed $seed: the arm64 scene differs from this build's, first at: $(diff "$work/sim-$seed.arm64" "$work/sim-$seed.amd64" | head -n 4)"
    while read -r _ cycle checksum; do
      got=$(awk -v cycle="$cycle" '$1 == cycle && NF == 7 { print $7 }' "$work/sim-$seed.arm64")
      [ "$got" = "$checksum" ] || fail "seed $seed, cycle $cycle: checksum ${got:-none} instead of the table's $checksum"
    done < <(awk -v seed="$seed" '$1 == seed' <<<"$checkpoints")
    echo "seed $seed: 6000 cycles as on this build, $(awk -v seed="$seed" '$1 == seed' <<<"$checkpoints" | wc -l) checkpoints as in the table; $(tail -n 1 "$work/sim-$seed.arm64")" >&2
  done
  ;;

snapshot)
  the_deb >/dev/null
  for program in "${programs[@]}"; do
    output=$(env -u DISPLAY qemu-aarch64 "$root/$program" --help 2>&1) || fail "/$program --help fails under qemu: $output"
    grep -qi 'usage' <<<"$output" || fail "/$program --help shows no usage under qemu: $output"
  done
  picture="$work/snapshot.png"
  rm -f "$picture"
  output=$(qemu-aarch64 "$root/usr/bin/velmora-snapshot" --size 160x120 --seed 2024 --cycles 100 --time 10:09 "$picture" 2>&1) ||
    fail "velmora-snapshot fails under qemu: $output"
  # Opaque: RGB, or RGBA whose every alpha is 255; and a picture, not one
  # colour: the scene's sky, ground and drops give many.
  verdict=$(python3 - "$picture" 2>&1 <<'PY'
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
if data[:8] != b"\x89PNG\r\n\x1a\n":
    sys.exit("not a PNG file")
pos, idat, header = 8, b"", None
while pos < len(data):
    length, kind = struct.unpack(">I4s", data[pos:pos + 8])
    body = data[pos + 8:pos + 8 + length]
    if kind == b"IHDR":
        header = struct.unpack(">IIBBBBB", body)
    elif kind == b"IDAT":
        idat += body
    pos += 12 + length
width, height, depth, colour, _, _, interlace = header
if depth != 8 or colour not in (2, 6) or interlace != 0:
    sys.exit("not 8-bit RGB or RGBA without interlacing: depth %d, colour type %d" % (depth, colour))
channels = 3 if colour == 2 else 4
stride = width * channels
raw = zlib.decompress(idat)
rows, previous = [], bytearray(stride)
for y in range(height):
    kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
    for x in range(stride):
        a = line[x - channels] if x >= channels else 0
        b = previous[x]
        c = previous[x - channels] if x >= channels else 0
        if kind == 1: line[x] = (line[x] + a) & 255
        elif kind == 2: line[x] = (line[x] + b) & 255
        elif kind == 3: line[x] = (line[x] + (a + b) // 2) & 255
        elif kind == 4:
            p = a + b - c
            pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
            line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
    rows.append(bytes(line))
    previous = line
pixels = [row[x:x + channels] for row in rows for x in range(0, stride, channels)]
if channels == 4 and any(p[3] != 255 for p in pixels):
    sys.exit("%d of %d pixels are not opaque" % (sum(p[3] != 255 for p in pixels), len(pixels)))
colours = len(set(p[:3] for p in pixels))
if colours < 16:
    sys.exit("only %d colours: a blank picture" % colours)
print("%dx%d, %d colours, opaque" % (width, height, colours))
PY
  ) || fail "the snapshot written under qemu is no good: $verdict"
  echo "snapshot under qemu: $verdict" >&2
  ;;

*)
  fail "unknown step $step"
  ;;
esac
