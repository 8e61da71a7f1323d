#!/usr/bin/env bash
# Wall time and peak memory of a default run, and of runs with --threads 1
# and --threads 2, on founder-pool inputs of 2,000 and 8,000 distinct
# genotypes of 100 sites. Not a test. Measured on 2 cores (load 1.7):
# 2000: 3.05 s with one thread, 1.66 s with two (0.54); 8000: 148.7 s and
# 75.6 s (0.50); peak memory 19 -> 29 MB and 158 -> 260 MB.
#
#   bench/threads_bench.sh [build dir] [work folder]
set -euo pipefail
build="$(realpath "${1:-build}")"
work="${2:-$(mktemp -d /tmp/velmora_threads_XXXXXX)}"
mkdir -p "$work"
cd "$work"

printf "%-18s %-12s %9s %10s %8s\n" input run seconds peak_MB "vs N=1"
for distinct in 2000 8000; do
    input="pool_${distinct}x100.txt"
    [ -f "$input" ] || "$build/bench/velmora_generate" pool "$distinct" 100 7 > "$input"
    one=""
    for run in default 1 2; do
        options=()
        [ "$run" = default ] || options=(--threads "$run")
        /usr/bin/time -f "%e %M" -o time.txt "$build/velmora" "$input" result.txt "${options[@]}" > console.txt
        read -r seconds kilobytes < time.txt
        [ "$run" = 1 ] && one="$seconds"
        ratio="-"
        [ "$run" = 2 ] && ratio=$(echo "scale=2; $seconds / $one" | bc)
        printf "%-18s %-12s %9s %10d %8s\n" "$input" "$([ "$run" = default ] && echo default || echo "threads $run")" \
            "$seconds" $((kilobytes / 1024)) "$ratio"
    done
done
echo "load: $(cut -d' ' -f1-3 /proc/loadavg); work folder: $work"
