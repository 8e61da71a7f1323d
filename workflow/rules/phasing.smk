# The rules: cut each chromosome into chunks, phase each chunk, ligate the
# chunks of each chromosome, join the chromosomes.


wildcard_constraints:
    chrom=r"[^/]+",
    start=r"[0-9]+",
    end=r"[0-9]+",


# The chunks of a chromosome depend on where its records lie, so they are
# known only once this has run.
checkpoint plan_chunks:
    input:
        vcf=INPUT,
        index=INPUT_INDEX,
    output:
        "work/plan/{chrom}.tsv",
    log:
        "logs/plan_chunks/{chrom}.log",
    params:
        script=os.path.join(workflow.basedir, "scripts", "plan_chunks.py"),
        chunk_bp=CHUNK_BP,
        overlap_bp=OVERLAP_BP,
        min_overlap_sites=MIN_OVERLAP_SITES,
    resources:
        mem_mb=500,
        runtime=60,
    conda:
        "../envs/bcftools.yaml"
    shell:
        "(bcftools query --include 'N_ALT=1' --regions-overlap pos --regions {wildcards.chrom:q}:1-"
        " --format '%POS\\n' {input.vcf:q}"
        " | python3 {params.script:q} {wildcards.chrom:q} {params.chunk_bp} {params.overlap_bp}"
        " {params.min_overlap_sites} - {output:q}) > {log:q} 2>&1"


rule phase_chunk:
    input:
        vcf=INPUT,
        index=INPUT_INDEX,
    output:
        bcf="work/chunks/{chrom}/{start}-{end}.bcf",
        index="work/chunks/{chrom}/{start}-{end}.bcf.csi",
    log:
        "logs/phase_chunk/{chrom}/{start}-{end}.log",
    params:
        velmora=VELMORA,
        options=VELMORA_OPTIONS,
    threads: THREADS
    # To be confirmed by measurement on whole chromosomes.
    resources:
        mem_mb=4000,
        runtime=240,
    conda:
        "../envs/bcftools.yaml"
    shell:
        "({params.velmora:q} {input.vcf:q} {output.bcf:q} --region {wildcards.chrom:q}:{wildcards.start}-{wildcards.end}"
        " --threads {threads} {params.options} && bcftools index --force --csi {output.bcf:q}) > {log:q} 2>&1"


# bcftools concat --ligate joins the phase of consecutive chunks on the
# records they share and adds phase sets (PS, PQ), dropped here: the result
# has GT only, as a single velmora run does.
rule ligate_chunks:
    input:
        bcf=chunk_files,
        index=chunk_indexes,
    output:
        bcf="work/ligated/{chrom}.bcf",
        index="work/ligated/{chrom}.bcf.csi",
    log:
        "logs/ligate_chunks/{chrom}.log",
    params:
        chunks=lambda wildcards, input: len(input.bcf),
    resources:
        mem_mb=1000,
        runtime=120,
    conda:
        "../envs/bcftools.yaml"
    shell:
        "(if [ {params.chunks} -eq 1 ]; then cp {input.bcf:q} {output.bcf:q};"
        " else bcftools concat --ligate --output-type u {input.bcf:q}"
        " | bcftools annotate --remove FORMAT/PS,FORMAT/PQ --output-type b --output {output.bcf:q}; fi"
        " && bcftools index --force --csi {output.bcf:q}) > {log:q} 2>&1"


rule join_chromosomes:
    input:
        bcf=expand("work/ligated/{chrom}.bcf", chrom=CHROMOSOMES),
        index=expand("work/ligated/{chrom}.bcf.csi", chrom=CHROMOSOMES),
    output:
        vcf=OUTPUT,
        index=OUTPUT_INDEX,
    log:
        "logs/join_chromosomes.log",
    params:
        output_type=OUTPUT_TYPE,
        index_option=OUTPUT_INDEX_OPTION,
    resources:
        mem_mb=1000,
        runtime=120,
    conda:
        "../envs/bcftools.yaml"
    shell:
        "(bcftools concat --output-type {params.output_type} --output {output.vcf:q} {input.bcf:q}"
        " && bcftools index --force {params.index_option} {output.vcf:q}) > {log:q} 2>&1"
