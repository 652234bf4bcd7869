#!/usr/bin/env bash
# The recorder beside the tools people would use instead, in one run, on this
# machine; prints one table of ratios (and the earlier benchmarks' own tables).
#
#   bench/compare.sh
#
# Environment: BENCH_ROUNDS (5) runs of each side, alternated A B A B;
# BENCH_LIVE_ROUNDS (3) and BENCH_LIVE_SECONDS (30) for the live recordings;
# BENCH_LIST_COUNT (10000); BENCH_STOP_BYTES (1073741824);
# TAVRIN_BENCH_BUILD (build/bench).
#
# 1. Live recording at 96 kHz from the private sound server's "mic": the real
#    executable on an Xvfb display (record button pressed with xdotool) beside
#    parecord writing WAV, each charged with its own CPU plus the server's
#    (utime+stime from /proc), per minute of recorded audio.
# 2. Start-up to a filled and measured list of BENCH_LIST_COUNT recordings:
#    program_bench (main window + window-created sequence, in process, on the
#    server's devices) beside one `soxi -D DIR/*.wav`; also the whole real
#    executable started and closed with SIGTERM right after start-up.
# 3. Stop of a BENCH_STOP_BYTES recording: program_bench stop (StopRecording +
#    WriteRecordingFile) beside `cp` of that final file on the same disk.
# 4. capture_pipeline_bench and conversion_bench, rerun.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TAVRIN_BENCH_BUILD:-$root/build/bench}
rounds=${BENCH_ROUNDS:-5}
liveRounds=${BENCH_LIVE_ROUNDS:-3}
live=${BENCH_LIVE_SECONDS:-30}
count=${BENCH_LIST_COUNT:-10000}
stopBytes=${BENCH_STOP_BYTES:-1073741824}
title="Tavrin 录音机 1.0"
hz=$(getconf CLK_TCK)

echo "== building (release) in $build" >&2
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVRIN_TESTS=OFF >/dev/null || exit 1
if ! log=$(cmake --build "$build" -j2 --target tavrin program_bench conversion_bench capture_pipeline_bench 2>&1); then
  printf '%s\n' "$log" >&2
  exit 1
fi

work=$(mktemp -d /tmp/tavrin-bench.XXXXXX)
xvfb_pid=""
app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  "$root/scripts/pulse-private" stop "$work/pulse" >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# ---- helpers ---------------------------------------------------------------
now() { date +%s.%N; }
# utime+stime of a process, in clock ticks (fields 14 and 15 after the name).
ticks() { sed 's/^.*) //' "/proc/$1/stat" | awk '{print $12 + $13}'; }
median() { sort -g | awk '{v[NR] = $1} END {if (NR == 0) print "nan"; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
calc() { awk "BEGIN {printf \"%.4g\", $1}"; }
result() { awk -v k="$2" '$1 == "RESULT" && $2 == k {print $3}' "$1"; }
wait_for() {  # seconds condition...
  local until=$(( $(date +%s) + $1 )); shift
  while ! "$@"; do [ "$(date +%s)" -ge "$until" ] && return 1; sleep 0.05; done
}
file_bigger() { [ -f "$1" ] && [ "$(stat -c %s "$1")" -gt "$2" ]; }
a_wav_in() { compgen -G "$1/*.wav" >/dev/null; }
sigterm_caught() {  # SigCgt of the process has bit 15 (SIGTERM)
  local k v
  [ -r "/proc/$1/status" ] || return 1
  while read -r k v; do
    [ "$k" = SigCgt: ] && { (( (16#$v >> 14) & 1 )); return; }
  done <"/proc/$1/status"
  return 1
}
program_folder() {  # DIR: the executable and its help page, as installed beside it
  mkdir -p "$1"
  cp "$build/tavrin" "$1/"
  [ -d "$build/help" ] && cp -r "$build/help" "$1/"
}

rows=()
# Numbers in a cell: 3 significant digits, whole numbers from 100 up.
short() { awk '{for (i = 1; i <= NF; ++i) if ($i ~ /^-?[0-9.]+(e[-+]?[0-9]+)?$/) $i = sprintf(($i >= 100 || $i <= -100) ? "%.0f" : "%.3g", $i); print}' <<<"$1"; }
row() { rows+=("$1|$(short "$2")|$(short "$3")|$(short "$4")|$5|$6"); }
met() { awk "BEGIN {print ($1) ? \"yes\" : \"NO\"}"; }

# ---- services ----------------------------------------------------------------
display=""
for n in $(seq 150 199); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=":$n"; break; }
done
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
mkdir -p "$work/pulse"
eval "$("$root/scripts/pulse-private" start "$work/pulse")" || exit 1
server=$(cat "$work/pulse/server.pid")
wait_for 10 test -e "/tmp/.X11-unix/X${display#:}" || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=$display
unset QT_QPA_PLATFORM

# ---- 1. live recording -------------------------------------------------------
# One recording with the real executable; prints "cpu_per_min server_part audio_seconds rate".
live_tavrin() {
  local prog="$work/live-$1" wid s0 t0 s1 t1 file
  program_folder "$prog"
  printf '[软件配置]\n默认品质 = 0\n' >"$prog/录音配置.ini"
  "$prog/tavrin" >"$prog/out.log" 2>&1 &
  app_pid=$!
  wid=$(timeout 20 xdotool search --sync --onlyvisible --name "$title" | head -1)
  [ -n "$wid" ] || { echo "tavrin window not found" >&2; return 1; }
  sleep 1  # the end of start-up
  s0=$(ticks "$server"); t0=$(ticks "$app_pid")
  xdotool mousemove --window "$wid" 230 205 click 1
  wait_for 5 file_bigger "$prog/temp.wav" 100000 || { echo "temp.wav does not grow" >&2; return 1; }
  sleep "$live"
  xdotool mousemove --window "$wid" 230 205 click 1
  wait_for 10 a_wav_in "$prog/录音存储" || { echo "no recording written" >&2; return 1; }
  sleep 0.2
  s1=$(ticks "$server"); t1=$(ticks "$app_pid")
  kill -TERM "$app_pid"; wait "$app_pid" 2>/dev/null; app_pid=""
  file=$(compgen -G "$prog/录音存储/*.wav" | head -1)
  local secs rate
  secs=$(soxi -D "$file"); rate=$(soxi -r "$file")
  [ "$rate" = 96000 ] || { echo "tavrin recorded at $rate Hz" >&2; return 1; }
  echo "$(calc "($s1 - $s0 + $t1 - $t0) / $hz / $secs * 60") $(calc "($s1 - $s0) / $hz / $secs * 60") $secs $rate"
  rm -rf "$prog"
}
live_parecord() {
  local out="$work/parecord.wav" s0 s1 p1 pid
  s0=$(ticks "$server")
  parecord -d mic --rate=96000 --channels=2 --format=s16le --file-format=wav --latency-msec=20 "$out" &
  pid=$!
  sleep "$live"
  p1=$(ticks "$pid"); s1=$(ticks "$server")
  kill -TERM "$pid"; wait "$pid" 2>/dev/null
  local secs rate
  secs=$(soxi -D "$out"); rate=$(soxi -r "$out")
  echo "$(calc "($s1 - $s0 + $p1) / $hz / $secs * 60") $(calc "($s1 - $s0) / $hz / $secs * 60") $secs $rate"
  rm -f "$out"
}
echo "== 1. live recording, $liveRounds x ${live} s each side and idle" >&2
: >"$work/live-t"; : >"$work/live-p"; : >"$work/live-i"
for r in $(seq "$liveRounds"); do
  s0=$(ticks "$server"); sleep "$live"; s1=$(ticks "$server")
  calc "($s1 - $s0) / $hz / $live * 60" >>"$work/live-i"; echo >>"$work/live-i"
  live_tavrin "$r" >>"$work/live-t" || exit 1
  live_parecord >>"$work/live-p" || exit 1
done
echo "   tavrin (cpu/min server/min seconds rate):" >&2; sed 's/^/     /' "$work/live-t" >&2
echo "   parecord:" >&2; sed 's/^/     /' "$work/live-p" >&2
echo "   server idle:" >&2; sed 's/^/     /' "$work/live-i" >&2
idle=$(median <"$work/live-i")
lt=$(cut -d' ' -f1 "$work/live-t" | median); lp=$(cut -d' ' -f1 "$work/live-p" | median)
lts=$(cut -d' ' -f2 "$work/live-t" | median); lps=$(cut -d' ' -f2 "$work/live-p" | median)
row "live 96 kHz: CPU s per min (own + server)" "$lt" "$lp (parecord)" "$(calc "$lt / $lp")" "<= 1.5x" "$(met "$lt <= 1.5 * $lp")"
row "  of which the server's" "$lts" "$lps" "$(calc "$lts / $lps")" "-" "-"
row "  server idle, tone feeder only" "$idle" "$idle" "-" "-" "-"
row "  net of the idle server" "$(calc "$lt - $idle")" "$(calc "$lp - $idle")" "$(calc "($lt - $idle) / ($lp - $idle)")" "-" "-"

# ---- 2. start-up with a full list ---------------------------------------------
echo "== 2. start-up with $count recordings, $rounds rounds" >&2
list="$work/list"
program_folder "$list"
"$build/bench/program_bench" make-wavs "$list/录音存储" "$count" || exit 1
startup_real() {  # whole process: start, SIGTERM once its handler is in, end
  local tf="$work/real.time" pid
  rm -f "$work/real.pid"
  /usr/bin/time -f "%e %U %S" -o "$tf" sh -c 'echo $$ >"$1"; exec "$2"' sh "$work/real.pid" "$list/tavrin" \
    >/dev/null 2>&1 &
  local timer=$!
  wait_for 10 test -s "$work/real.pid"
  pid=$(cat "$work/real.pid")
  wait_for 10 sigterm_caught "$pid"
  kill -TERM "$pid"
  wait "$timer"
  awk '{print $1, $2 + $3}' "$tf"
}
: >"$work/st-t"; : >"$work/st-s"; : >"$work/st-r"
for r in $(seq "$rounds"); do
  "$build/bench/program_bench" startup "$list" pulse >"$work/st.out" 2>/dev/null || { echo "program_bench startup failed" >&2; exit 1; }
  [ "$(result "$work/st.out" startup_rows | cut -d. -f1)" = "$count" ] || { echo "list not full" >&2; exit 1; }
  echo "$(result "$work/st.out" startup_wall) $(result "$work/st.out" startup_cpu) $(result "$work/st.out" list_fill_wall) $(result "$work/st.out" list_measure_wall)" >>"$work/st-t"
  /usr/bin/time -f "%e %U %S" -o "$work/soxi.time" soxi -D "$list/录音存储"/*.wav >"$work/soxi.out" 2>/dev/null
  [ "$(wc -l <"$work/soxi.out")" = "$count" ] || { echo "soxi did not measure every file" >&2; exit 1; }
  awk '{print $1, $2 + $3}' "$work/soxi.time" >>"$work/st-s"
  startup_real >>"$work/st-r"
done
echo "   tavrin in process (wall cpu fill measure):" >&2; sed 's/^/     /' "$work/st-t" >&2
echo "   soxi -D (wall cpu):" >&2; sed 's/^/     /' "$work/st-s" >&2
echo "   real executable (wall cpu):" >&2; sed 's/^/     /' "$work/st-r" >&2
tw=$(cut -d' ' -f1 "$work/st-t" | median); tc=$(cut -d' ' -f2 "$work/st-t" | median)
tf=$(cut -d' ' -f3 "$work/st-t" | median); tm=$(cut -d' ' -f4 "$work/st-t" | median)
sw=$(cut -d' ' -f1 "$work/st-s" | median); sc=$(cut -d' ' -f2 "$work/st-s" | median)
rw=$(cut -d' ' -f1 "$work/st-r" | median); rc=$(cut -d' ' -f2 "$work/st-r" | median)
row "start-up to filled+measured list ($count), wall s" "$tw" "$sw (soxi -D)" "$(calc "$tw / $sw")" "<= 1 s" "$(met "$tw <= 1")"
row "  same, CPU s" "$tc" "$sc (soxi -D)" "$(calc "$tc / $sc")" "-" "-"
row "  list fill / measure alone, wall s" "$tf / $tm" "-" "-" "-" "-"
row "  real executable, start to exit, wall s" "$rw" "$sw (soxi -D)" "$(calc "$rw / $sw")" "-" "-"
row "  real executable, start to exit, CPU s" "$rc" "$sc (soxi -D)" "$(calc "$rc / $sc")" "-" "-"
rm -rf "$list"

# ---- 3. stop of a long recording ----------------------------------------------
echo "== 3. stop of a $stopBytes-byte recording, $rounds rounds" >&2
stop="$work/stop"
: >"$work/sp-t"; : >"$work/sp-c"
for r in $(seq "$rounds"); do
  sync
  "$build/bench/program_bench" stop "$stop" "$stopBytes" >"$work/sp.out" || { echo "program_bench stop failed" >&2; exit 1; }
  echo "$(result "$work/sp.out" stop_wall) $(result "$work/sp.out" stop_cpu) $(result "$work/sp.out" stop_then_sync_wall) $(result "$work/sp.out" stop_recording_wall)" >>"$work/sp-t"
  sync
  t0=$(now)
  /usr/bin/time -f "%e %U %S" -o "$work/cp.time" cp "$stop/store/bench.wav" "$stop/copy.wav"
  sync
  t1=$(now)
  echo "$(awk '{print $1, $2 + $3}' "$work/cp.time") $(calc "$t1 - $t0")" >>"$work/sp-c"
  cmp -s "$stop/store/bench.wav" "$stop/copy.wav" || { echo "cp copy differs" >&2; exit 1; }
  rm -rf "$stop"
done
echo "   tavrin (stop wall, cpu, stop+sync wall, StopRecording alone):" >&2; sed 's/^/     /' "$work/sp-t" >&2
echo "   cp (wall, cpu, cp+sync wall):" >&2; sed 's/^/     /' "$work/sp-c" >&2
pw=$(cut -d' ' -f1 "$work/sp-t" | median); pc=$(cut -d' ' -f2 "$work/sp-t" | median)
ps=$(cut -d' ' -f3 "$work/sp-t" | median); pr=$(cut -d' ' -f4 "$work/sp-t" | median)
cw=$(cut -d' ' -f1 "$work/sp-c" | median); cc=$(cut -d' ' -f2 "$work/sp-c" | median)
cs=$(cut -d' ' -f3 "$work/sp-c" | median)
row "stop of $(calc "$stopBytes / 1073741824") GiB recording, wall s" "$pw" "$cw (cp)" "$(calc "$pw / $cw")" "<= 1.2x" "$(met "$pw <= 1.2 * $cw")"
row "  same, CPU s" "$pc" "$cc (cp)" "$(calc "$pc / $cc")" "-" "-"
row "  of which StopRecording (sizes, mirror sync), wall s" "$pr" "-" "-" "-" "-"
row "  with write-back (then sync), wall s" "$ps" "$cs (cp; sync)" "$(calc "$ps / $cs")" "-" "-"

# ---- 4. the earlier benchmarks --------------------------------------------------
echo "== 4. capture pipeline and conversion" >&2
"$build/bench/capture_pipeline_bench" direct 3600 >"$work/cap-direct.out" || exit 1
"$build/bench/capture_pipeline_bench" device 600 >"$work/cap-device.out" || exit 1
"$build/bench/conversion_bench" >"$work/conv.out"
convRc=$?
rtf=$(awk '/pipeline CPU/ {print $7}' "$work/cap-direct.out" | tr -d x)
ratio=$(awk '/peak resident/ {print $NF}' "$work/cap-direct.out")
devrt=$(awk '/wall time/ {print $7}' "$work/cap-device.out" | tr -d x)
row "capture pipeline 96 kHz, x real time (1 core)" "$rtf" "-" "-" "-" "-"
row "  (peak - baseline) RSS / image, 1 h" "$ratio" "-" "-" "-" "-"
row "  device mode, x real time (wall)" "$devrt" "-" "-" "-" "-"
# 48 kHz device -> 96 kHz offered: the live case above.
read -r snr snrSox ours sox < <(awk '$1 == 48000 && $2 == 96000 {print $4, $5, $(NF-1), $NF}' "$work/conv.out")
row "conversion 48k->96k SNR, dB" "$snr" "$snrSox (sox)" "-" ">= 97 dB" "$(met "$snr >= 97")"
row "conversion 48k->96k speed, x real time" "$ours" "$sox (sox)" "$(calc "$ours / $sox")" "-" "-"
row "conversion, every rate pair" "$([ $convRc = 0 ] && echo 'all met' || echo 'NOT all met')" "-" "-" "table below" "$([ $convRc = 0 ] && echo yes || echo NO)"

# ---- the table ------------------------------------------------------------------
echo
echo "Tavrin beside other tools on $(hostname), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "medians of $liveRounds live recordings of ${live} s each side, of $rounds runs otherwise"
echo "(ratio = tavrin / other tool; lower is better except for speeds)"
echo
{
  echo "measure|tavrin|other tool|ratio|target|met?"
  for r in "${rows[@]}"; do echo "$r"; done
} | column -t -s '|' -o ' | '
echo
echo "--- capture_pipeline_bench direct 3600"; cat "$work/cap-direct.out"
echo "--- capture_pipeline_bench device 600"; cat "$work/cap-device.out"
echo "--- conversion_bench"; cat "$work/conv.out"
