#!/usr/bin/env bash
# End-to-end check of the chunked phasing workflow (workflow/Snakefile) on a
# two-chromosome VCF made from examples/chr20.vcf.gz:
#   - phased in several chunks per chromosome, every input site comes out
#     once, in order, phased, explaining its input genotype, and the
#     switch error against the known phase is no worse than a single
#     velmora run's by more than half a percentage point (the ligation
#     joins the chunks' phase);
#   - with one chunk per chromosome the result is a single velmora run's;
#   - a deleted chunk is phased again at the next run, with only its
#     chromosome's ligation and the join, and the result is the same;
#   - a failing job fails the run and names its log;
#   - snakemake --lint finds nothing.
#
# Usage: run_workflow_test.sh VELMORA [SNAKEMAKE]
set -euo pipefail

if [ $# -lt 1 ]; then
    echo "Usage: $0 VELMORA [SNAKEMAKE]" >&2
    exit 2
fi
velmora=$(realpath "$1")
snakemake=${2:-snakemake}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/velmora-workflow-test.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Velmora options of every run here: a window other than the default, so
# that options that do not reach velmora are seen.
options="--window 60 -s 3"

# Workflow run in the working directory $1 (relative paths in the settings
# are taken from here, the directory snakemake starts in).
run_workflow() {
    local workdir=$1
    shift
    "$snakemake" -s "$repo/workflow/Snakefile" -d "$workdir" --cores 2 \
        --config input=in.vcf.gz velmora="$velmora" "velmora_options=$options" "$@" > "$workdir.out" 2>&1 \
        || { tail -n 40 "$workdir.out" >&2; fail "the workflow failed in $workdir"; }
}

# The data: chromosome 20 as shipped, and a chromosome 21 of the same sites
# whose samples carry the genotypes of other samples (shifted by 7), so the
# two differ.  truth.vcf.gz keeps the known phase, in.vcf.gz is unphased.
example=$repo/examples/chr20.vcf.gz
{
    bcftools view --header-only "$example"
    bcftools view --no-header "$example"
    bcftools view --no-header "$example" | awk 'BEGIN { FS = OFS = "\t" }
        { n = NF - 9; for (i = 0; i < n; i++) g[i] = $(10 + (i + 7) % n)
          $1 = "21"; for (i = 0; i < n; i++) $(10 + i) = g[i]; print }'
} | bcftools view --output-type z --output truth.vcf.gz
bcftools index --tbi truth.vcf.gz
bcftools +setGT truth.vcf.gz --output-type z --output in.vcf.gz -- --target-gt a --new-gt u 2> /dev/null
bcftools index --tbi in.vcf.gz
sites=$(bcftools index --nrecords in.vcf.gz)

# Single velmora runs, one per chromosome, for comparison.
for chrom in 20 21; do
    # shellcheck disable=SC2086
    "$velmora" in.vcf.gz "single$chrom.bcf" --region "$chrom" --threads 1 $options > "single$chrom.out" \
        || fail "velmora failed on chromosome $chrom: $(tail -n 1 "single$chrom.out")"
    bcftools index "single$chrom.bcf"
done
bcftools concat --output-type z --output single.vcf.gz single20.bcf single21.bcf 2> /dev/null

# 1. Several chunks per chromosome.
run_workflow chunked output=chunked.vcf.gz chunk_bp=30000 overlap_bp=8000
[ -f chunked.vcf.gz ] && [ -f chunked.vcf.gz.tbi ] \
    || fail "chunked.vcf.gz and its .tbi are not in the directory snakemake started in"
for chrom in 20 21; do
    chunks=$(wc -l < "chunked/work/plan/$chrom.tsv")
    [ "$chunks" -ge 3 ] || fail "chromosome $chrom was cut into $chunks chunks, not 3 or more"
done
python3 "$here/check_phased.py" in.vcf.gz chunked.vcf.gz || fail "chunked.vcf.gz does not phase in.vcf.gz"
[ "$(bcftools view --no-header --regions 21 chunked.vcf.gz | wc -l)" -eq $((sites / 2)) ] \
    || fail "chunked.vcf.gz.tbi does not find chromosome 21's sites"
switch_error() {
    python3 "$repo/bench/switch_error.py" truth.vcf.gz "$1" | sed -n 's/.*switch_error=\([0-9.]*\)%.*/\1/p'
}
chunked_error=$(switch_error chunked.vcf.gz)
single_error=$(switch_error single.vcf.gz)
echo "switch error: $chunked_error % in chunks, $single_error % in single runs"
python3 -c "import sys; sys.exit(0 if $chunked_error <= $single_error + 0.5 else 1)" \
    || fail "the chunks' switch error ($chunked_error %) exceeds a single run's ($single_error %) by more than 0.5"

# 2. One chunk per chromosome (the default chunk_bp is longer than the
# data): the result is the single runs', with any number of threads.
run_workflow whole output=whole.bcf threads=2
cmp <(bcftools view --no-header whole.bcf) <(bcftools view --no-header single.vcf.gz) \
    || fail "with one chunk per chromosome the records differ from single velmora runs"
headers() { bcftools view --header-only "$1" | grep -v '^##source=\|^##bcftools_'; }
cmp <(headers whole.bcf) <(headers single20.bcf) \
    || fail "with one chunk per chromosome the header differs from a single velmora run's"
[ -f whole.bcf.csi ] || fail "whole.bcf has no .csi index"

# 3. A deleted chunk: the next run phases it again, ligates its chromosome
# and joins the chromosomes, and nothing else.
deleted=chunked/work/chunks/21/$(awk 'NR == 2 { print $2 "-" $3 }' chunked/work/plan/21.tsv).bcf
[ -f "$deleted" ] || fail "no chunk file $deleted"
rm "$deleted"
run_workflow chunked output=chunked.vcf.gz chunk_bp=30000 overlap_bp=8000 --dry-run
python3 - chunked.out "$scratch/chunked.vcf.gz" "${deleted#chunked/}" <<'PYTHON' \
    || fail "after deleting $deleted the dry run plans other jobs than its phasing, ligation and join"
import re, sys
text, output, chunk = open(sys.argv[1]).read(), sys.argv[2], sys.argv[3]
jobs = []
for rule, block in re.findall(r"^(?:localrule|rule|checkpoint) (\w+):\n((?:    .*\n)*)", text, re.M):
    outputs = re.search(r"^    output: ([^,\n]*)", block, re.M)
    jobs.append((rule, outputs.group(1) if outputs else ""))
expected = [("all", ""), ("join_chromosomes", output), ("ligate_chunks", "work/ligated/21.bcf"),
            ("phase_chunk", chunk)]
if sorted(jobs) != expected:
    print(f"jobs planned: {sorted(jobs)}\njobs expected: {expected}", file=sys.stderr)
    sys.exit(1)
PYTHON
times() { find chunked/work -type f -printf '%p %T@\n' | sort; }
times > before.times
bcftools view --no-header chunked.vcf.gz > before.records
run_workflow chunked output=chunked.vcf.gz chunk_bp=30000 overlap_bp=8000
times > after.times
[ -f "$deleted" ] || fail "the deleted chunk $deleted was not made again"
changed=$({ diff before.times after.times || true; } | sed -n 's/^> \([^ ]*\) .*/\1/p' | sort | tr '\n' ' ')
expected=$(printf '%s\n' "$deleted" "$deleted.csi" chunked/work/ligated/21.bcf chunked/work/ligated/21.bcf.csi \
    | sort | tr '\n' ' ')
[ "$changed" = "$expected" ] \
    || fail "the run after deleting $deleted changed these files: $changed"
cmp -s before.records <(bcftools view --no-header chunked.vcf.gz) \
    || fail "the run after deleting $deleted gave another result"

# 4. A failing job fails the run and names its log.
options="--window x"
if "$snakemake" -s "$repo/workflow/Snakefile" -d failing --cores 2 --config input=in.vcf.gz \
    velmora="$velmora" "velmora_options=$options" output=failing.vcf.gz > failing.out 2>&1; then
    fail "the workflow succeeded with velmora_options=$options"
fi
log=$(grep -o 'logs/phase_chunk/[^ ]*\.log' failing.out | head -n 1) \
    || fail "the failed run does not name the log of the failed job"
grep -q "Bad value for --window" "failing/$log" || fail "failing/$log does not hold velmora's error"
[ ! -e failing.vcf.gz ] || fail "the failed run left an output"

# 5. Lint.
"$snakemake" -s "$repo/workflow/Snakefile" --lint --config input=in.vcf.gz velmora="$velmora" > lint.out 2>&1 \
    || { cat lint.out >&2; fail "snakemake --lint finds faults"; }

echo "The workflow test passed."
