#!/usr/bin/env python3
"""Checks a phased VCF against the unphased VCF it was made from.

    check_phased.py INPUT.vcf.gz PHASED.vcf.gz

The phased file must hold every site of the input exactly once, in the
input's order (matched by CHROM, POS, REF and ALT), the same samples in the
same order, and at each site a phased GT (a|b) for every sample whose two
alleles are those of the sample's input GT, in either order.  Prints one
line per fault (at most ten) and exits with 1 when there is one.
"""
import subprocess
import sys
from collections import Counter


def records(path):
    samples = subprocess.run(["bcftools", "query", "--list-samples", path], check=True,
                             capture_output=True, text=True).stdout.split()
    lines = subprocess.run(["bcftools", "query", "--format", "%CHROM\t%POS\t%REF\t%ALT[\t%GT]\n", path],
                           check=True, capture_output=True, text=True).stdout.splitlines()
    return samples, [line.split("\t") for line in lines]


def main(input_path, phased_path):
    faults = []
    input_samples, input_records = records(input_path)
    phased_samples, phased_records = records(phased_path)
    if input_samples != phased_samples:
        faults.append(f"the samples differ: {len(input_samples)} in the input, {len(phased_samples)} phased")
    input_sites = [tuple(fields[:4]) for fields in input_records]
    phased_sites = [tuple(fields[:4]) for fields in phased_records]
    if input_sites != phased_sites:
        counts = Counter(phased_sites)
        known = set(input_sites)
        missing = [site for site in input_sites if site not in counts]
        repeated = [site for site, count in counts.items() if count > 1]
        extra = [site for site in counts if site not in known]
        if missing or repeated or extra:
            first = (missing + repeated + extra)[0]
            faults.append(f"of the input's {len(input_sites)} sites, {len(missing)} are missing and {len(repeated)} "
                          f"repeated, and {len(extra)} other sites are there (first: {':'.join(first)})")
        else:
            faults.append("the sites are not in the input's order")
    phased_by_site = {tuple(fields[:4]): fields[4:] for fields in phased_records}
    for fields in input_records:
        site = tuple(fields[:4])
        calls = phased_by_site.get(site)
        if calls is None:
            continue
        for sample, given, phased in zip(input_samples, fields[4:], calls):
            if len(phased) != 3 or phased[1] != "|":
                faults.append(f"{sample} at {site[0]}:{site[1]} is not phased: {phased}")
            elif sorted(phased.split("|")) != sorted(given.replace("|", "/").split("/")):
                faults.append(f"{sample} at {site[0]}:{site[1]} is {phased}, which does not explain its input {given}")
    for fault in faults[:10]:
        print(f"Error in {phased_path}: {fault}")
    if len(faults) > 10:
        print(f"... and {len(faults) - 10} more faults")
    return 1 if faults else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__.strip().splitlines()[2].strip())
    sys.exit(main(sys.argv[1], sys.argv[2]))
