#!/usr/bin/env bash
# Phasing accuracy and time against the phasers users know.
#
#   bench/phasing_bench.sh [build/velmora] [work folder]
#
# Data:
#   chr20      1000 Genomes chromosome 20 from Debian's shapeit4-example (300
#              samples, 3 Mb), biallelic SNPs only, phased by the project that
#              released it; its GTs unphased are the input, its phase the truth.
#   sim500     a coalescent simulation of our own with Debian's scrm: 500
#              samples, 2 Mb, theta 5e-4 and rho 4e-4 per base.
#   ...-miss   the same with 2 % of the calls removed at random (seed 1); the
#              removed calls are scored for concordance, the rest for switch
#              error.
#   cohort     a larger simulation of the same kind: 2,500 samples, 2 Mb;
#              Velmora runs on it with one thread and again with two.
# Each tool runs on one thread: Velmora with default options, Beagle 5
# (nthreads=1) and, with SHAPEIT=1 in the environment, SHAPEIT4 (chr20 only,
# with the shipped genetic map). For each: switch error (bench/switch_error.py,
# which agrees with vcftools --diff-switch-error), distinct haplotypes of the
# output, wall seconds and, on the -miss data, concordance of removed calls.
#
# Needs bcftools, tabix, scrm, beagle and shapeit4-example (Debian packages of
# those names), and python3. Not a test.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
velmora="$(realpath "${1:-build/velmora}")"
work="${2:-$(mktemp -d /tmp/velmora_phasing_XXXXXX)}"
mkdir -p "$work"
cd "$work"
examples=/usr/share/doc/shapeit4/examples
datasets="${DATASETS:-chr20 sim500 chr20-miss sim500-miss cohort}"

seconds() { date +%s.%N; }

# $1 truth (phased, indexed) -> $2 the unphased input.
unphase() {
    bcftools +setGT "$1" -Oz -o "$2" -- -t a -n u > /dev/null 2>&1
    bcftools index -f -t "$2"
}

# $1 unphased input -> $2 the same with 2 % of the calls set missing, and
# $3 the list of removed calls (CHROM, POS, SAMPLE).
remove_calls() {
    bcftools query -l "$1" > samples.txt
    bcftools view "$1" | python3 -c '
import random, sys
random.seed(1)
samples = open("samples.txt").read().split()
with open(sys.argv[1], "w") as removed:
    for line in sys.stdin:
        if line.startswith("#"):
            sys.stdout.write(line)
            continue
        f = line.rstrip("\n").split("\t")
        for i in range(9, len(f)):
            if random.random() < 0.02:
                f[i] = "./."
                removed.write(f"{f[0]}\t{f[1]}\t{samples[i - 9]}\n")
        sys.stdout.write("\t".join(f) + "\n")
' "$3" | bgzip > "$2"
    bcftools index -f -t "$2"
}

prepare() {
    if [ ! -s chr20.truth.vcf.gz ]; then
        bcftools view -m2 -M2 -v snps "$examples/test/reference.vcf.gz" -Oz -o chr20.truth.vcf.gz
        bcftools index -f -t chr20.truth.vcf.gz
        unphase chr20.truth.vcf.gz chr20.vcf.gz
    fi
    if [ ! -s sim500.truth.vcf.gz ]; then
        scrm 1000 1 -t 1000 -r 800 2000000 -l 100000 -seed 1 | python3 "$here/ms_to_vcf.py" 2000000 1 \
            | bgzip > sim500.truth.vcf.gz
        bcftools index -f -t sim500.truth.vcf.gz
        unphase sim500.truth.vcf.gz sim500.vcf.gz
    fi
    if [[ " $datasets " == *" cohort "* ]] && [ ! -s cohort.truth.vcf.gz ]; then
        scrm 5000 1 -t 1000 -r 800 2000000 -l 100000 -seed 1 | python3 "$here/ms_to_vcf.py" 2000000 1 \
            | bgzip > cohort.truth.vcf.gz
        bcftools index -f -t cohort.truth.vcf.gz
        unphase cohort.truth.vcf.gz cohort.vcf.gz
    fi
    for base in chr20 sim500; do
        if [ ! -s "$base-miss.vcf.gz" ]; then
            remove_calls "$base.vcf.gz" "$base-miss.vcf.gz" "$base-miss.removed.tsv"
            cp "$base.truth.vcf.gz" "$base-miss.truth.vcf.gz"
            bcftools index -f -t "$base-miss.truth.vcf.gz"
        fi
    done
}

distinct_haplotypes() {
    bcftools query -f '[%GT\t]\n' "$1" 2>/dev/null | awk -F'\t' '
        { for (i = 1; i < NF; i++) { h[2 * i - 1] = h[2 * i - 1] substr($i, 1, 1); h[2 * i] = h[2 * i] substr($i, 3, 1) } }
        END { for (k in h) d[h[k]] = 1; print length(d) }'
}

report() {
    local data="$1" tool="$2" output="$3" wall="$4"
    local masked=()
    [ -f "$data.removed.tsv" ] && masked=(--masked "$data.removed.tsv")
    local scored switch concordance
    scored=$(python3 "$here/switch_error.py" "$data.truth.vcf.gz" "$output" "${masked[@]}")
    switch=$(sed -n 's/.*switch_error=\([0-9.]*%\).*/\1/p' <<< "$scored")
    concordance=$(sed -n 's/.*concordance=\([0-9.]*%\).*/\1/p' <<< "$scored")
    printf "%-12s %-10s %12s %12s %10s %12s\n" "$data" "$tool" "$switch" "$(distinct_haplotypes "$output")" \
        "$(printf '%.1f' "$wall")" "${concordance:--}"
}

prepare
printf "%-12s %-10s %12s %12s %10s %12s\n" data tool switch_error haplotypes seconds concordance
for data in $datasets; do
    t0=$(seconds)
    "$velmora" "$data.vcf.gz" "$data.velmora.vcf.gz" > "$data.velmora.log"
    t1=$(seconds)
    report "$data" velmora "$data.velmora.vcf.gz" "$(echo "$t1 - $t0" | bc)"
    if [ "$data" = cohort ]; then
        t0=$(seconds)
        "$velmora" "$data.vcf.gz" "$data.velmora2.vcf.gz" --threads 2 > "$data.velmora2.log"
        t1=$(seconds)
        report "$data" velmora-t2 "$data.velmora2.vcf.gz" "$(echo "$t1 - $t0" | bc)"
    fi

    t0=$(seconds)
    beagle gt="$data.vcf.gz" out="$data.beagle" nthreads=1 > "$data.beagle.log" 2>&1
    t1=$(seconds)
    report "$data" beagle "$data.beagle.vcf.gz" "$(echo "$t1 - $t0" | bc)"

    if [ "${SHAPEIT:-0}" = 1 ] && [ "${data%-miss}" = chr20 ]; then
        t0=$(seconds)
        shapeit4 --input "$data.vcf.gz" --map "$examples/test/chr20.b37.gmap.gz" --region 20 --thread 1 \
            --output "$data.shapeit4.vcf.gz" > "$data.shapeit4.log" 2>&1
        t1=$(seconds)
        report "$data" shapeit4 "$data.shapeit4.vcf.gz" "$(echo "$t1 - $t0" | bc)"
    fi
done
