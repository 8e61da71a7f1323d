#!/usr/bin/env python3
"""ms-style haplotypes (Debian's scrm) -> a phased VCF, the truth of a benchmark.

    scrm 1000 1 -t 1000 -r 800 2000000 -l 100000 -seed 1 | ms_to_vcf.py 2000000 [CHROM] > truth.vcf

Consecutive haplotypes make a sample (1 and 2 make S1, ...). Positions in
[0, 1) scale to 1..LENGTH; a site falling on the position of the one before
moves one base on. Sites where every haplotype carries the same allele are
left out. REF is A, ALT is C (the alleles play no part in phasing).
"""
import sys


def main():
    length = int(sys.argv[1])
    chrom = sys.argv[2] if len(sys.argv) > 2 else "1"
    positions = []
    haplotypes = []
    for line in sys.stdin:
        if line.startswith("positions:"):
            positions = [float(x) for x in line.split()[1:]]
        elif positions and line[:1] in "01":
            haplotypes.append(line.strip())
    if len(haplotypes) % 2:
        haplotypes.pop()
    samples = len(haplotypes) // 2
    out = sys.stdout
    out.write("##fileformat=VCFv4.2\n")
    out.write(f"##contig=<ID={chrom},length={length}>\n")
    out.write('##FORMAT=<ID=GT,Number=1,Type=String,Description="Genotype">\n')
    out.write("#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT\t"
              + "\t".join(f"S{i + 1}" for i in range(samples)) + "\n")
    last = 0
    for s, x in enumerate(positions):
        pos = max(last + 1, int(x * length) + 1)
        if pos > length:
            break
        column = [h[s] for h in haplotypes]
        if "0" not in column or "1" not in column:
            continue
        last = pos
        gts = "\t".join(f"{column[2 * i]}|{column[2 * i + 1]}" for i in range(samples))
        out.write(f"{chrom}\t{pos}\t.\tA\tC\t.\tPASS\t.\tGT\t{gts}\n")


if __name__ == "__main__":
    main()
