#!/usr/bin/env bash
# The JACK DSP load of a heavy show with real plugins, the plugin workers on and off, and the
# offline renderer's wall time for the same show.
#
# The show: ZynAddSubFX in "VSTi 1" and "VSTi 2", Dragonfly Hall Reverb in "VST 1".."VST 4",
# both instruments sending to all four aux buses (so every reverb has signal), every channel
# of MIDI input 1 routed to both instruments. A JACK client plays a loop of four-note chords
# into Peldor over JACK MIDI and reads jack_cpu_load every 100 ms. Everything runs on a
# private server, `jackd --no-realtime -d dummy -r 48000 -p 256`, under a name of its own.
#
#   bench/dsp_load.sh [RUNS [SECONDS]]     default: 5 runs of 20 s each per setting
#
# Environment: PELDOR_BUILD_DIR (default build/), DSP_LOAD_WORKERS (the parallel setting's
# PELDOR_WORKERS; default: the program's own choice, the cores minus one), DSP_LOAD_REALTIME=1
# (a real-time server instead of --no-realtime), DSP_LOAD_PRIORITY (the show's audio thread
# priority option, 0-6; default 3, "Normal"; 6, "Time critical", gives the workers real-time
# scheduling just below the driver's thread).
# Prints one line per run and the medians; the machine's load average before and after.
# A benchmark, run by hand on a quiet machine: not part of ./test.

set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${PELDOR_BUILD_DIR:-$root/build}
runs=${1:-5}
seconds=${2:-20}
warmup=6
zyn=/usr/lib/vst/ZynAddSubFX.so
hall=/usr/lib/lxvst/DragonflyHallReverb-vst.so

for plugin in "$zyn" "$hall"; do
    if [[ ! -f $plugin ]]; then
        echo "missing $plugin (Debian packages zynaddsubfx-vst and dragonfly-reverb-vst)" >&2
        exit 1
    fi
done
cmake --build "$build" -j2 --target peldor peldor-render peldor-plugin-probe dsp_load_tool \
    >/dev/null
peldor=$build/app/peldor
render=$build/app/peldor-render
tool=$build/bench/dsp_load_tool

work=$(mktemp -d /tmp/peldor-dspload.XXXXXX)
server=peldor-dspload-$$
jackd_pid=
peldor_pid=
meter_pid=
cleanup() {
    for pid in $meter_pid $peldor_pid $jackd_pid; do
        kill -TERM "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

# A plugin folder with just the two libraries: the show names them by catalogue place.
mkdir -p "$work/plugins" "$work/cache" "$work/config"
ln -s "$zyn" "$hall" "$work/plugins/"
export XDG_CACHE_HOME=$work/cache XDG_CONFIG_HOME=$work/config
export JACK_DEFAULT_SERVER=$server JACK_NO_AUDIO_RESERVATION=1 JACK_NO_START_SERVER=1
export PELDOR_MIDI_API=jack
touch "$work/render.ini"
"$tool" show "$work/show.pdp"
"$tool" midi "$work/chords.mid" 30

# DSP_LOAD_REALTIME=1: the server (and with it Peldor's process thread) runs with real-time
# scheduling, as on a stage machine; it needs the permission to (root, or the audio group).
realtime=--no-realtime
if [[ ${DSP_LOAD_REALTIME:-0} == 1 ]]; then realtime=--realtime; fi
jackd "$realtime" -n "$server" -d dummy -r 48000 -p 256 >"$work/jackd.log" 2>&1 &
jackd_pid=$!
for _ in $(seq 100); do
    jack_lsp >/dev/null 2>&1 && break
    sleep 0.1
done
jack_lsp >/dev/null 2>&1 || { echo "jackd did not start" >&2; cat "$work/jackd.log" >&2; exit 1; }

echo "machine: $(nproc) cores; $(uptime)"

# measure LABEL WORKERS: one run; WORKERS empty = the program's choice, "none" = no Peldor.
measure() {
    local label=$1 workers=$2
    "$tool" measure "$warmup" "$seconds" >"$work/meter.txt" &
    meter_pid=$!
    if [[ $workers != none ]]; then
        sleep 0.5 # the meter's MIDI port must exist when Peldor lists its MIDI inputs
        (
            if [[ -n $workers ]]; then export PELDOR_WORKERS=$workers; fi
            exec "$peldor" --headless --driver JACK --ini "$work/peldor.ini" \
                --plugin-dir "$work/plugins" --project "$work/show.pdp" \
                --duration $((warmup + seconds + 10))
        ) >"$work/peldor-$label.log" 2>&1 &
        peldor_pid=$!
    fi
    wait "$meter_pid"
    meter_pid=
    if [[ -n $peldor_pid ]]; then
        kill -TERM "$peldor_pid" 2>/dev/null || true
        wait "$peldor_pid" || true
        peldor_pid=
    fi
    local status
    status=$(grep '^\[' "$work/peldor-$label.log" 2>/dev/null | tail -n 2 | head -n 1 || true)
    echo "$label: $(cat "$work/meter.txt")${status:+  | last status: $status}"
}

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.2f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

measure idle none
parallel=()
serial=()
for run in $(seq "$runs"); do
    measure "parallel-$run" "${DSP_LOAD_WORKERS:-}"
    parallel+=("$(awk '{ print $4 }' "$work/meter.txt")")
    measure "serial-$run" 0
    serial+=("$(awk '{ print $4 }' "$work/meter.txt")")
done
echo "median DSP load, workers on:  $(printf '%s\n' "${parallel[@]}" | median) %"
echo "median DSP load, workers off: $(printf '%s\n' "${serial[@]}" | median) %"
if grep -q "OVERLOAD" "$work"/peldor-*.log; then
    echo "some runs showed OVERLOAD!:"
    grep -l "OVERLOAD" "$work"/peldor-*.log | xargs -n1 basename
fi
if grep -q "empty:" "$work"/peldor-*.log; then
    echo "a slot stayed empty:" >&2
    grep -h "empty:" "$work"/peldor-*.log | tail -n 1 >&2
fi

# The offline renderer: 30 s of the chord loop, wall time, workers on and off.
offline() {
    local label=$1 workers=$2 start end
    start=$(date +%s.%N)
    (
        if [[ -n $workers ]]; then export PELDOR_WORKERS=$workers; fi
        exec "$render" --project "$work/show.pdp" --midi "$work/chords.mid" \
            --out "$work/$label.wav" --plugin-dir "$work/plugins" --ini "$work/render.ini"
    ) >"$work/render-$label.log" 2>&1
    end=$(date +%s.%N)
    awk -v s="$start" -v e="$end" -v l="$label" 'BEGIN { printf "%s: %.2f s\n", l, e - s }' |
        tee -a "$work/renders.txt"
}
for run in $(seq "$runs"); do
    offline "render-parallel-$run" "${DSP_LOAD_WORKERS:-}"
    offline "render-serial-$run" 0
done
echo "median render wall time (30 s of audio), workers on:  $(grep parallel "$work/renders.txt" | awk '{ print $2 }' | median) s"
echo "median render wall time (30 s of audio), workers off: $(grep serial "$work/renders.txt" | awk '{ print $2 }' | median) s"
if ! cmp -s "$work/render-parallel-1.wav" "$work/render-serial-1.wav"; then
    # Our own test plugins render bit for bit the same either way; these two plugins give
    # different samples from run to run once instances render on two threads at a time.
    echo "note: the parallel and serial renders differ (order-dependent plugin state)" >&2
fi
echo "after: $(uptime)"
