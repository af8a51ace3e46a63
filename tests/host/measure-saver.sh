#!/bin/sh
# A measured run of velmora.scr under Wine and Xvfb at 1024 x 768: frame rate
# (buffer swaps that Wine traces) and CPU use over 30 s, memory, and the time
# from WM_CLOSE to the end of the process. Not a test: the figures depend on
# the machine and whatever else runs on it.
#   tests/host/measure-saver.sh [build/windows] [seconds]
set -eu
build=${1:-build/windows}
seconds=${2:-30}
host="$build/tests/host"
[ -f "$host/velmora.scr" ] || { echo "build the windows preset first ($host/velmora.scr)" >&2; exit 1; }
run="$host/driver-run-velmora_win32_saver_tests"

for n in $(seq 130 149); do
  [ -e "/tmp/.X${n}-lock" ] && continue
  Xvfb ":${n}" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  sleep 1
  kill -0 "$xvfb" 2>/dev/null && break
done
export VELMORA_DRIVER_ON_DISPLAY=":${n}" LIBGL_ALWAYS_SOFTWARE=1
trace=$(mktemp)
trap 'kill "$xvfb" 2>/dev/null || true; rm -f "$trace"' EXIT

WINEDEBUG=+wgl "$run" "$host/velmora.scr" /s 2>"$trace" &
sleep 5 # start-up and the first frames are not measured
pid=$(pgrep -n -f 'velmora.scr /s' || true)
[ -n "$pid" ] || { echo "the saver did not start" >&2; exit 1; }
ticks=$(getconf CLK_TCK)
cpu() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
swaps() { grep -c wglSwapBuffers "$trace" || true; }
cpu0=$(cpu); swaps0=$(swaps); t0=$(date +%s.%N)
sleep "$seconds"
cpu1=$(cpu); swaps1=$(swaps); t1=$(date +%s.%N)
rss=$(awk '/VmRSS/ { print $2 }' "/proc/$pid/status")
hwm=$(awk '/VmHWM/ { print $2 }' "/proc/$pid/status")
awk -v c0="$cpu0" -v c1="$cpu1" -v s0="$swaps0" -v s1="$swaps1" -v t0="$t0" -v t1="$t1" -v hz="$ticks" \
    -v rss="$rss" -v hwm="$hwm" 'BEGIN {
  d = t1 - t0
  printf "over %.1f s at 1024 x 768: %.1f frames/s, CPU %.0f%% of one core\n", d, (s1 - s0) / d, 100 * (c1 - c0) / hz / d
  printf "memory: resident %.1f MiB, peak %.1f MiB\n", rss / 1024, hwm / 1024
}'
WINEDEBUG=-all "$run" "$host/win32_close_timer.exe"
