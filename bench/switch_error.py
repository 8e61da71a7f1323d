#!/usr/bin/env python3
"""Switch error of a phased VCF against a known phase.

    switch_error.py TRUTH.vcf.gz PHASED.vcf.gz [--masked MASK.tsv]

For each sample, over the sites both files hold (matched by CHROM, POS, REF
and ALT) at which the sample is heterozygous in both, the relative phase of
each two consecutive such sites is compared: a switch is a pair whose phase
differs. Prints the switches, the pairs compared and their ratio, pooled
over the samples, and the samples' median ratio.

With --masked, a file of "CHROM<TAB>POS<TAB>SAMPLE" lines naming calls that
were removed before phasing: those calls are left out of the switch error
and scored instead for concordance (the phased genotype equals the truth's).

Reads the files through `bcftools query`, which must be on the PATH.
"""
import argparse
import statistics
import subprocess
import sys


def read_calls(path):
    """Sample names and, per site key, the per-sample (allele, allele) or None."""
    names = subprocess.run(["bcftools", "query", "-l", path], check=True, capture_output=True,
                           text=True).stdout.split()
    query = subprocess.Popen(["bcftools", "query", "-f", "%CHROM\t%POS\t%REF\t%ALT[\t%GT]\n", path],
                             stdout=subprocess.PIPE, text=True)
    sites = {}
    order = []
    for line in query.stdout:
        fields = line.rstrip("\n").split("\t")
        key = (fields[0], int(fields[1]), fields[2], fields[3])
        calls = []
        for gt in fields[4:]:
            if len(gt) == 3 and gt[1] in "|/" and gt[0] in "01" and gt[2] in "01":
                calls.append((gt[0], gt[2], gt[1] == "|"))
            else:
                calls.append(None)
        sites[key] = calls
        order.append(key)
    if query.wait() != 0:
        sys.exit(f"bcftools query failed on {path}")
    return names, sites, order


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[1])
    parser.add_argument("truth")
    parser.add_argument("phased")
    parser.add_argument("--masked", help="calls removed before phasing: CHROM, POS, SAMPLE per line")
    args = parser.parse_args()

    truth_names, truth, truth_order = read_calls(args.truth)
    names, phased, _ = read_calls(args.phased)
    column = {name: i for i, name in enumerate(names)}
    masked = set()
    if args.masked:
        with open(args.masked) as f:
            for line in f:
                chrom, pos, sample = line.rstrip("\n").split("\t")
                masked.add((chrom, int(pos), sample))

    shared = [key for key in truth_order if key in phased]
    switches = 0
    pairs = 0
    per_sample = []
    unphased = 0
    concordant = 0
    scored_masked = 0
    for ti, name in enumerate(truth_names):
        if name not in column:
            continue
        pi = column[name]
        last = None  # relative phase at the previous shared heterozygous site
        s_switches = 0
        s_pairs = 0
        for key in shared:
            t = truth[key][ti]
            p = phased[key][pi]
            if (key[0], key[1], name) in masked:
                if t is not None and p is not None:
                    scored_masked += 1
                    concordant += sorted(t[:2]) == sorted(p[:2])
                continue
            if t is None or p is None or t[0] == t[1] or p[0] == p[1]:
                continue
            if not p[2]:
                unphased += 1
            relation = t[0] == p[0]
            if last is not None:
                s_pairs += 1
                s_switches += relation != last
            last = relation
        switches += s_switches
        pairs += s_pairs
        if s_pairs:
            per_sample.append(s_switches / s_pairs)

    rate = 100.0 * switches / pairs if pairs else 0.0
    median = 100.0 * statistics.median(per_sample) if per_sample else 0.0
    print(f"sites_truth={len(truth_order)} sites_shared={len(shared)} samples={len(per_sample)}")
    print(f"switches={switches} pairs={pairs} switch_error={rate:.3f}% median_sample={median:.3f}%"
          + (f" unphased_het_calls={unphased}" if unphased else ""))
    if args.masked:
        share = 100.0 * concordant / scored_masked if scored_masked else 0.0
        print(f"masked_calls={scored_masked} concordant={concordant} concordance={share:.2f}%")


if __name__ == "__main__":
    main()
