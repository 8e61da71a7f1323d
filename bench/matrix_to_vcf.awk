# Writes a genotype matrix file (count, sites, then one genotype per line over
# 0, 1, 2) as an unphased VCF: one sample per genotype, one biallelic site per
# column on chromosome 1, 100 bp apart.
#   awk -f bench/matrix_to_vcf.awk genotypes.txt > genotypes.vcf
NR == 1 { count = $1; sites = $2; next }
{ genotype[n++] = $1 }
END {
    print "##fileformat=VCFv4.2"
    print "##contig=<ID=1,length=" (sites + 1) * 100 ">"
    print "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">"
    header = "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT"
    for (i = 0; i < n; i++) header = header "\tS" (i + 1)
    print header
    for (s = 1; s <= sites; s++) {
        line = "1\t" s * 100 "\t.\tA\tC\t.\tPASS\t.\tGT"
        for (i = 0; i < n; i++) {
            c = substr(genotype[i], s, 1)
            line = line "\t" (c == "0" ? "0/0" : c == "1" ? "1/1" : "0/1")
        }
        print line
    }
}
