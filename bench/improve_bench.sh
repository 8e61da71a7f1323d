#!/usr/bin/env bash
# The improvement phase against the search alone and against Beagle 5.
#
# Coalescent inputs from Debian's scrm (with recombination), 1,000 to 4,000
# genotypes of 1,000 sites, and hard small inputs (high recombination, few
# samples). For each: a default run, a run with --improve 60, and Beagle on
# the same genotypes as an unphased VCF; haplotype counts and wall seconds.
#
#   bench/improve_bench.sh [build/velmora] [work folder]
#
# Needs scrm, beagle, bcftools (Debian packages of those names). Not a test.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
velmora="$(realpath "${1:-build/velmora}")"
work="${2:-$(mktemp -d /tmp/velmora_improve_XXXXXX)}"
mkdir -p "$work"
cd "$work"

seconds() { date +%s.%N; }

# scrm haplotypes -> genotype matrix of consecutive pairs, first $2 sites.
# Also prints the number of distinct true haplotypes.
ms_to_matrix() {
    awk -v sites="$2" -v out="$3" '
        /^positions:/ { reading = 1; next }
        reading && /^[01]/ { h[n++] = substr($0, 1, sites) }
        END {
            for (i = 0; i + 1 < n; i += 2) {
                g = ""
                for (s = 1; s <= sites; s++) {
                    a = substr(h[i], s, 1); b = substr(h[i + 1], s, 1)
                    g = g (a == b ? a : "2")
                }
                genotypes[m++] = g
            }
            print m, sites > out
            for (i = 0; i < m; i++) print genotypes[i] > out
            for (i = 0; i < n; i++) distinct[h[i]] = 1
            print length(distinct)
        }' "$1"
}

count_result() { awk '/^END HAPLOTYPE_LIST/ { exit } /^ *[0-9]+: / { n++ } END { print n + 0 }' "$1"; }

count_vcf_haplotypes() {
    bcftools query -f '[%GT\t]\n' "$1" 2>/dev/null | awk -F'\t' '
        { for (i = 1; i < NF; i++) { split($i, a, "|"); h[2 * i - 1] = h[2 * i - 1] a[1]; h[2 * i] = h[2 * i] a[2] } }
        END { for (k in h) d[h[k]] = 1; print length(d) }'
}

printf "%-24s %6s %6s %6s %6s | %6s %7s | %6s %7s | %6s %7s\n" input geno dist sites true \
    search s improve s beagle s

run_case() {
    local name="$1" truth="$2" matrix="$3" beagle="${4:-yes}"
    local dist sites t0 t1 search_n search_s improve_n improve_s beagle_n="-" beagle_s="-"
    dist=$(tail -n +2 "$matrix" | sort -u | wc -l)
    sites=$(head -1 "$matrix" | awk '{ print $2 }')
    t0=$(seconds); "$velmora" "$matrix" "$name.default.txt" > "$name.default.log"; t1=$(seconds)
    search_n=$(count_result "$name.default.txt"); search_s=$(echo "$t1 - $t0" | bc)
    t0=$(seconds); "$velmora" "$matrix" "$name.improve.txt" --improve 60 > "$name.improve.log"; t1=$(seconds)
    improve_n=$(count_result "$name.improve.txt"); improve_s=$(echo "$t1 - $t0" | bc)
    if [ "$beagle" = yes ]; then
        awk -f "$here/matrix_to_vcf.awk" "$matrix" > "$name.vcf"
        t0=$(seconds); beagle gt="$name.vcf" out="$name.beagle" seed=1 > "$name.beagle.log" 2>&1; t1=$(seconds)
        beagle_n=$(count_vcf_haplotypes "$name.beagle.vcf.gz"); beagle_s=$(echo "$t1 - $t0" | bc)
    fi
    printf "%-24s %6s %6s %6s %6s | %6s %7.1f | %6s %7.1f | %6s %7s\n" "$name" "$(head -1 "$matrix" | awk '{ print $1 }')" \
        "$dist" "$sites" "$truth" "$search_n" "$search_s" "$improve_n" "$improve_s" "$beagle_n" \
        "$( [ "$beagle_s" = - ] && echo - || printf %.1f "$beagle_s")"
}

# Coalescent inputs: theta chosen so that at least 1,000 sites segregate.
for genotypes in 1000 2000 4000; do
    haplotypes=$((genotypes * 2))
    scrm "$haplotypes" 1 -t 130 -r 40 100000 -seed "$genotypes" > "coal$genotypes.ms" 2>/dev/null
    truth=$(ms_to_matrix "coal$genotypes.ms" 1000 "coal$genotypes.txt")
    run_case "coalescent_${genotypes}x1000" "$truth" "coal$genotypes.txt"
done

# Hard small inputs: few samples, high recombination, many heterozygous sites.
for seed in 1 2 3 4 5 6; do
    scrm 120 1 -t 40 -r 60 10000 -seed "$seed" > "small$seed.ms" 2>/dev/null
    truth=$(ms_to_matrix "small$seed.ms" 60 "small$seed.txt")
    run_case "small_60x60_seed$seed" "$truth" "small$seed.txt" no
done
for seed in 1 2 3; do
    scrm 200 1 -t 60 -r 200 10000 -seed "$seed" > "recomb$seed.ms" 2>/dev/null
    truth=$(ms_to_matrix "recomb$seed.ms" 100 "recomb$seed.txt")
    run_case "recomb_100x100_seed$seed" "$truth" "recomb$seed.txt" no
done
echo "work folder: $work"
