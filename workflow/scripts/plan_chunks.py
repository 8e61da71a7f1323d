#!/usr/bin/env python3
"""Cut one chromosome into overlapping chunks for phasing.

Reads the positions of the chromosome's records, one per line in file order
(as `bcftools query -f '%POS\\n'` prints them), and writes one line per
chunk, tab-separated: CHROM, FROM, TO, SITES, where FROM and TO are the
positions of the chunk's first and last record (1-based, inclusive) and
SITES the number of records between them.

The chunks tile the chromosome from its first record to its last: a chunk
spans chunk_bp base pairs from its first record, and the next chunk starts
overlap_bp before the end of that span, so that consecutive chunks share
overlap_bp base pairs.  A chromosome whose records all lie within one
chunk_bp span is one chunk.  Where the records are sparse (a gap such as a
centromere), a chunk reaches further so that consecutive chunks still share
at least min_overlap_sites records; the phase of two chunks is joined on
those shared records, and without them it could not be joined.

Usage: plan_chunks.py CHROM CHUNK_BP OVERLAP_BP MIN_OVERLAP_SITES [POSITIONS [PLAN]]
POSITIONS and PLAN default to standard input and output.
"""

import bisect
import sys


def plan_chunks(positions, chunk_bp, overlap_bp, min_overlap_sites):
    """Return the chunks as (first index, last index) pairs into positions."""
    n = len(positions)
    if n == 0:
        return []
    chunks = []
    first = 0
    while True:
        start = positions[first]
        end = start + chunk_bp - 1
        last = bisect.bisect_right(positions, end) - 1
        if last >= n - 1:
            chunks.append((first, n - 1))
            return chunks
        # Enough records that the next chunk can share min_overlap_sites of
        # them and still begin past this chunk's first position.
        last = max(last, min(first + 2 * min_overlap_sites - 1, n - 1))
        if last >= n - 1:
            chunks.append((first, n - 1))
            return chunks
        end = max(end, positions[last])
        chunks.append((first, last))
        following = bisect.bisect_left(positions, end - overlap_bp + 1)
        following = min(following, last - min_overlap_sites + 1)
        # The next chunk begins at a later position than this one, so the
        # loop always moves on.
        following = max(following, bisect.bisect_right(positions, start))
        first = following


def read_positions(stream, name):
    positions = []
    previous = 0
    for number, line in enumerate(stream, 1):
        text = line.strip()
        if not text:
            continue
        if not text.isdigit():
            sys.exit(f"Error in the positions {name}: line {number} is '{text}', not a position")
        position = int(text)
        if position < previous:
            sys.exit(f"Error in the positions {name}: line {number} ({position}) comes after {previous}; "
                     "the input must be sorted by position")
        positions.append(position)
        previous = position
    return positions


def whole_number(text, key, least):
    try:
        value = int(text)
    except ValueError:
        value = None
    if value is None or value < least:
        sys.exit(f"Bad value for {key}: '{text}'; it takes a whole number of at least {least}")
    return value


def main(argv):
    if len(argv) not in (5, 6, 7):
        sys.exit(__doc__.strip().splitlines()[-2])
    chrom = argv[1]
    chunk_bp = whole_number(argv[2], "chunk_bp", 1)
    overlap_bp = whole_number(argv[3], "overlap_bp", 0)
    min_overlap_sites = whole_number(argv[4], "min_overlap_sites", 1)
    if overlap_bp >= chunk_bp:
        sys.exit(f"Bad value for overlap_bp: {overlap_bp}; it must be smaller than chunk_bp ({chunk_bp})")
    if len(argv) >= 6 and argv[5] != "-":
        with open(argv[5]) as stream:
            positions = read_positions(stream, argv[5])
    else:
        positions = read_positions(sys.stdin, "on standard input")
    if not positions:
        sys.exit(f"Error in the input: chromosome {chrom} has no biallelic record to phase")
    lines = [f"{chrom}\t{positions[a]}\t{positions[b]}\t{b - a + 1}\n"
             for a, b in plan_chunks(positions, chunk_bp, overlap_bp, min_overlap_sites)]
    if len(argv) == 7:
        with open(argv[6], "w") as out:
            out.writelines(lines)
    else:
        sys.stdout.writelines(lines)


if __name__ == "__main__":
    main(sys.argv)
