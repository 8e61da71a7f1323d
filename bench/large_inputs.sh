#!/bin/sh
# Default runs of velmora on large generated inputs, with wall time, CPU time
# and peak memory per run (GNU time), and the machine's load beside them.
# Not a test: a full run of every size takes a long time.
#
#   bench/large_inputs.sh [VELMORA_BINARY [GENERATOR_BINARY [SIZES...]]]
#
# VELMORA_BINARY defaults to build/velmora, GENERATOR_BINARY to
# build/bench/velmora_generate. A size is KIND:DISTINCT:SITES, with KIND one
# of random (pairs of a pool of random haplotypes), pool (pairs of a pool of
# recombined founders) or scrm (pairs of haplotypes simulated by Debian's
# scrm under the coalescent with recombination; SITES is then the number of
# haplotypes' segregating sites asked for, roughly). Without sizes it runs
# random 2000..16000 x 30, 100 and 1000 sites, then pool (founder) inputs of
# 2000, 8000 and 16000 x 100 sites.
# Extra options for every run can be given in VELMORA_OPTIONS, for example
# VELMORA_OPTIONS="-i 3" for a quick look.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
velmora=$(realpath "${1:-$here/build/velmora}")
generate=$(realpath "${2:-$here/build/bench/velmora_generate}")
[ $# -ge 2 ] && shift 2 || shift $#
sizes=$*
if [ -z "$sizes" ]; then
    for distinct in 2000 4000 8000 16000; do
        for sites in 30 100 1000; do sizes="$sizes random:$distinct:$sites"; done
    done
    sizes="$sizes pool:2000:100 pool:8000:100 pool:16000:100"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

printf '%-24s %10s %10s %10s %8s  %s\n' input wall_s cpu_s peak_MB load haplotypes
for size in $sizes; do
    kind=${size%%:*}
    rest=${size#*:}
    distinct=${rest%%:*}
    sites=${rest#*:}
    input=$work/$kind-$distinct-$sites.txt
    case $kind in
    random | pool) "$generate" "$kind" "$distinct" "$sites" > "$input" ;;
    scrm)
        # 2 x DISTINCT haplotypes; theta chosen for about SITES segregating sites.
        haplotypes=$((2 * distinct))
        harmonic=$(awk -v n="$haplotypes" 'BEGIN { h = 0; for (i = 1; i < n; ++i) h += 1 / i; print h }')
        theta=$(awk -v s="$sites" -v h="$harmonic" 'BEGIN { printf "%.3f", s / h }')
        scrm "$haplotypes" 1 -t "$theta" -r "$theta" 1000 -l 1000 -seed 1 | "$generate" pair > "$input"
        ;;
    *) echo "unknown kind: $kind" >&2; exit 2 ;;
    esac
    load=$(cut -d' ' -f1 /proc/loadavg)
    # shellcheck disable=SC2086
    /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$velmora" "$input" "$work/result.txt" ${VELMORA_OPTIONS:-} > "$work/console"
    read -r wall user system peak < "$work/time"
    cpu=$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.2f", u + s }')
    best=$(grep -c '^ *[0-9]*: [01]' "$work/result.txt" || true)
    printf '%-24s %10s %10s %10d %8s  %s\n' "$kind:$distinct:$sites" "$wall" "$cpu" $((peak / 1024)) "$load" "$best"
done
