#!/bin/sh
# Compares two builds of velmora (see compare_runs.sh) on a broad set of
# generated inputs, seeds and settings: random pools and recombined founders
# from 50 to 2500 genotypes and 8 to 300 sites (word boundaries of 64 and 128
# sites included), coalescent samples from Debian's scrm, repeated genotypes,
# homozygous-only and open inputs, no perturbation attempts. Takes a few
# seconds plus what the reference build needs.
#
#   bench/compare_broadly.sh REFERENCE_BINARY NEW_BINARY [GENERATOR_BINARY]
set -u
here=$(cd "$(dirname "$0")" && pwd)
reference=$(realpath "$1")
new=$(realpath "$2")
generate=$(realpath "${3:-$here/../build/bench/velmora_generate}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 2
failed=0
total=0
compare() {
    total=$((total + 1))
    if ! "$here/compare_runs.sh" "$reference" "$new" "$@" > report.txt 2>&1; then
        failed=$((failed + 1))
        echo "DIFFERENT: $*"
        cat report.txt
    fi
}
for seed in 1 2 3; do
    for size in "random 50 8" "random 200 20" "random 500 64" "random 800 65" "random 1500 100" "random 2500 30" \
                "pool 300 12" "pool 700 40" "pool 1200 129" "pool 2000 300"; do
        set -- $size
        "$generate" "$1" "$2" "$3" "$seed" > "$1-$2-$3-$seed.txt"
        compare "$1-$2-$3-$seed.txt" -i 2 -n 4 -s $((seed * 7))
    done
done
if command -v scrm > /dev/null; then
    for seed in 3 4; do
        scrm 600 1 -t 20 -r 10 1000 -l 1000 -seed "$seed" | "$generate" pair "$seed" > "scrm-small-$seed.txt"
        compare "scrm-small-$seed.txt" -i 3 -n 5 -s "$seed"
        scrm 2000 1 -t 60 -r 30 1000 -l 1000 -seed "$seed" | "$generate" pair "$seed" > "scrm-mid-$seed.txt"
        compare "scrm-mid-$seed.txt" -i 1 -n 3 -s "$seed"
    done
fi
"$generate" random 3000 16 1 > repeats.txt
compare repeats.txt -i 3 -n 0 -s 99
printf '5 3\n000\n111\n000\n010\n101\n' > homozygous.txt
compare homozygous.txt -i 3 -s 4
printf '4 5\n22222\n22222\n22022\n20222\n' > open.txt
compare open.txt -i 4 -n 6 -s 8
"$generate" pool 400 300 5 > long.txt
compare long.txt -i 2 -n 2 -s 12
echo "$((total - failed)) of $total runs identical"
[ "$failed" -eq 0 ]
