#!/usr/bin/env python3
"""The fewest haplotypes that explain a set of genotypes, by the `cadical`
program on a CNF written here: a reference for the proof benchmark that
shares no code with velmora.

For r haplotypes the CNF has one variable per haplotype and site and, per
genotype, a selector per haplotype for its first and for its second
haplotype; a heterozygous site gets one variable for the phase of the
genotype there. Symmetry breaking, each step valid on its own:
  - a greedy clique of pairwise incompatible genotypes (one has '0' where
    the other has '1') shares no haplotype: its members take haplotypes
    0, 1, 2, ... in order, two each when heterozygous;
  - the other haplotypes are numbered in order of first use (the genotypes
    in a fixed order, the first haplotype of a genotype before its second);
  - the first haplotype of a heterozygous genotype carries '0' at its first
    heterozygous site.
The calls go down from an upper bound: a SAT answer is decoded and checked
to explain every genotype (an error otherwise), and the next call asks for
one haplotype fewer than it used; an UNSAT answer for r proves r+1 optimal.

    bench/pph_exact.py GENOTYPE_FILE [--upper N] [--seconds 600]

prints one line: "optimum N", or "between L and U" when the time ran out.
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile
import time


def read_genotypes(path):
    tokens = open(path).read().split()
    count = int(tokens[0], 0)
    return tokens[2:2 + count]


def reduce_columns(genotypes):
    """Distinct genotypes over the columns that are not constant and not a
    copy, or a complement, of an earlier column: the optimum is the same."""
    genotypes = sorted(set(genotypes))
    if not genotypes:
        return genotypes
    flip = str.maketrans('01', '10')
    kept, seen = [], set()
    for s in range(len(genotypes[0])):
        column = ''.join(g[s] for g in genotypes)
        if '2' not in column and len(set(column)) == 1:
            continue
        if column in seen or column.translate(flip) in seen:
            continue
        seen.add(column)
        kept.append(s)
    return sorted(set(''.join(g[s] for s in kept) for g in genotypes))


def compatible(a, b):
    return all(x == y or x == '2' or y == '2' for x, y in zip(a, b))


def greedy_clique(genotypes):
    """Pairwise incompatible genotypes, heterozygous ones first."""
    order = sorted(range(len(genotypes)), key=lambda g: ('2' not in genotypes[g], g))
    clique = []
    for g in order:
        if all(not compatible(genotypes[g], genotypes[c]) for c in clique):
            clique.append(g)
    return clique


def lower_bound(genotypes, clique):
    weight = sum(2 if '2' in genotypes[c] else 1 for c in clique)
    het = sum('2' in g for g in genotypes)
    hom = len(genotypes) - het
    k = hom
    while k * (k - 1) // 2 < het:
        k += 1
    return max(weight, k)


class Cnf:
    def __init__(self):
        self.variables = 0
        self.clauses = []

    def new(self):
        self.variables += 1
        return self.variables

    def add(self, *literals):
        self.clauses.append(literals)


def write_cnf(genotypes, clique, r, path):
    """The CNF "r haplotypes explain the genotypes"; returns the selectors
    to decode a model, or None when the clique alone needs more than r."""
    sites = len(genotypes[0])
    cnf = Cnf()
    h = [[cnf.new() for _ in range(sites)] for _ in range(r)]
    pinned = {}  # genotype -> (first slot, second slot)
    slot = 0
    for c in clique:
        het = '2' in genotypes[c]
        pinned[c] = (slot, slot + 1 if het else slot)
        slot += 2 if het else 1
    if slot > r:
        return None
    first_free = slot

    def fits(g, j):
        """Whether pinned slot j can be a haplotype of genotype g."""
        owner = next(c for c, (a, b) in pinned.items() if j in (a, b))
        return compatible(genotypes[g], genotypes[owner])

    selectors = {}
    order = [g for g in range(len(genotypes)) if g not in pinned]
    # used[j]: the last "free slot j is used by a genotype so far" variable.
    used = [None] * r
    for c, (a, b) in pinned.items():
        g = genotypes[c]
        opened = [s for s in range(sites) if g[s] == '2']
        for s in range(sites):
            if g[s] != '2':
                cnf.add(h[a][s] if g[s] == '1' else -h[a][s])
                cnf.add(h[b][s] if g[s] == '1' else -h[b][s])
            else:
                cnf.add(h[a][s], h[b][s])
                cnf.add(-h[a][s], -h[b][s])
        if opened:
            cnf.add(-h[a][opened[0]])
        selectors[c] = ([(a, None)], [(b, None)])
    for g in order:
        text = genotypes[g]
        het = '2' in text
        opened = [s for s in range(sites) if text[s] == '2']
        phase = {s: cnf.new() for s in opened}
        if opened:
            cnf.add(-phase[opened[0]])
        sides = []
        for side in range(2 if het else 1):
            choices = []
            for j in range(r):
                if j < first_free and not fits(g, j):
                    continue
                x = cnf.new()
                choices.append((j, x))
                for s in range(sites):
                    if text[s] == '2':
                        p = phase[s] if side == 0 else -phase[s]
                        cnf.add(-x, -h[j][s], p)
                        cnf.add(-x, h[j][s], -p)
                    else:
                        cnf.add(-x, h[j][s] if text[s] == '1' else -h[j][s])
            cnf.add(*[x for _, x in choices])
            sides.append(choices)
        if het:
            second = dict(sides[1])
            for j, x in sides[0]:
                if j in second:
                    cnf.add(-x, -second[j])
        # First-use order of the free slots.
        takes = {}
        for choices in sides:
            for j, x in choices:
                if j >= first_free:
                    takes.setdefault(j, []).append(x)
        now = list(used)
        for j, xs in takes.items():
            y = cnf.new()
            cnf.add(-y, *([used[j]] if used[j] else []), *xs)
            for x in xs:
                cnf.add(-x, y)
            now[j] = y
        for j, xs in takes.items():
            if j == first_free:
                continue
            before = now[j - 1]
            for x in xs:
                cnf.add(-x, before) if before else cnf.add(-x)
        used = now
        selectors[g] = (sides[0], sides[1] if het else sides[0])
    with open(path, 'w') as f:
        f.write(f'p cnf {cnf.variables} {len(cnf.clauses)}\n')
        for clause in cnf.clauses:
            f.write(' '.join(map(str, clause)) + ' 0\n')
    return h, selectors


def write_pairs_cnf(genotypes, clique, r, path):
    """The CNF "at most r distinct haplotypes" without haplotype slots: a
    phase variable per heterozygous site of each genotype, a variable per
    haplotype of a genotype and haplotype of an earlier compatible genotype
    that, when true, makes them equal, and a haplotype counts unless it
    equals one of an earlier genotype. A sequential counter bounds the count.
    Returns what decoding needs."""
    sites = len(genotypes[0])
    rest = sorted((g for g in range(len(genotypes)) if g not in set(clique)),
                  key=lambda g: genotypes[g].count('2'))
    order = list(clique) + rest
    cnf = Cnf()
    phase = {}  # (g, s) -> variable: the first haplotype's value at heterozygous site s

    def value(g, i, s):
        """The literal (or True/False) of haplotype i of g at site s."""
        c = genotypes[g][s]
        if c != '2':
            return c == '1'
        if s == genotypes[g].index('2'):
            return i == 1
        v = phase[(g, s)]
        return v if i == 0 else -v

    for g in order:
        for s in range(sites):
            if genotypes[g][s] == '2' and s != genotypes[g].index('2'):
                phase[(g, s)] = cnf.new()
    counted = []
    for n, g in enumerate(order):
        count = 2 if '2' in genotypes[g] else 1
        equal = {i: [] for i in range(count)}
        for e in order[:n]:
            if not compatible(genotypes[g], genotypes[e]):
                continue
            for i in range(count):
                for j in range(2 if '2' in genotypes[e] else 1):
                    clauses = []
                    possible = True
                    for s in range(sites):
                        a, b = value(g, i, s), value(e, j, s)
                        if isinstance(a, bool) and isinstance(b, bool):
                            if a != b:
                                possible = False
                                break
                        elif isinstance(a, bool):
                            clauses.append([b if a else -b])
                        elif isinstance(b, bool):
                            clauses.append([a if b else -a])
                        else:
                            clauses.append([-a, b])
                            clauses.append([a, -b])
                    if not possible:
                        continue
                    x = cnf.new()
                    for clause in clauses:
                        cnf.add(-x, *clause)
                    equal[i].append((e, j, x))
        # One haplotype of g equals at most one of another genotype's, and
        # the two of g are never both equal to the same one.
        if count == 2:
            for a in equal[0]:
                for b in equal[1]:
                    if a[0] == b[0] and a[1] == b[1]:
                        cnf.add(-a[2], -b[2])
        for i in range(count):
            u = cnf.new()
            cnf.add(u, *[x for _, _, x in equal[i]])
            counted.append(u)
    # Sequential counter: s[k] true when at least k+1 of the counted so far are.
    previous = []
    for u in counted:
        now = []
        for k in range(min(len(previous) + 1, r + 1)):
            t = cnf.new()
            cnf.add(-u, t) if k == 0 else cnf.add(-u, -previous[k - 1], t)
            if k < len(previous):
                cnf.add(-previous[k], t)
            now.append(t)
        previous = now
    if len(previous) > r:
        cnf.add(-previous[r])
    with open(path, 'w') as f:
        f.write(f'p cnf {cnf.variables} {len(cnf.clauses)}\n')
        for clause in cnf.clauses:
            f.write(' '.join(map(str, clause)) + ' 0\n')
    return value


def decode_pairs(genotypes, value, values):
    used = set()
    for g in range(len(genotypes)):
        haplotypes = []
        for i in range(2):
            text = ''
            for s in range(len(genotypes[g])):
                v = value(g, i, s)
                text += '1' if (v if isinstance(v, bool) else (v in values if v > 0 else -v not in values)) else '0'
            haplotypes.append(text)
        explained = ''.join(x if x == y else '2' for x, y in zip(*haplotypes))
        if explained != genotypes[g]:
            raise SystemExit(f'model does not explain genotype {genotypes[g]}')
        used.update(haplotypes)
    return len(used)


def solve(path, seconds):
    done = subprocess.run(['cadical', '-q', '-t', str(max(1, int(seconds))), path],
                          capture_output=True, text=True)
    if done.returncode == 10:
        values = set()
        for line in done.stdout.splitlines():
            if line.startswith('v '):
                values.update(int(x) for x in line[2:].split() if x != '0')
        return 'SAT', values
    if done.returncode == 20:
        return 'UNSAT', None
    return 'UNKNOWN', None


def decode(genotypes, h, selectors, values):
    """The haplotypes the model uses, checked against every genotype."""
    def haplotype(j):
        return ''.join('1' if h[j][s] in values else '0' for s in range(len(genotypes[0])))

    def chosen(choices):
        picked = [j for j, x in choices if x is None or x in values]
        return picked[0]

    used = set()
    for g, (first, second) in selectors.items():
        a, b = haplotype(chosen(first)), haplotype(chosen(second))
        explained = ''.join(x if x == y else '2' for x, y in zip(a, b))
        if explained != genotypes[g]:
            raise SystemExit(f'model does not explain genotype {genotypes[g]}: {a} {b}')
        used.update((a, b))
    return len(used)


def fewest_haplotypes(genotypes, upper, seconds, log=None, model='pairs'):
    """(lower, upper, calls): equal bounds when the optimum is found."""
    start = time.monotonic()
    genotypes = reduce_columns(genotypes)
    if not genotypes or not genotypes[0]:
        return (len(genotypes), len(genotypes), 0)
    clique = greedy_clique(genotypes)
    lower = lower_bound(genotypes, clique)
    if upper is None:
        upper = 2 * len(genotypes)
    calls = 0
    with tempfile.TemporaryDirectory(prefix='pph_exact_') as folder:
        path = os.path.join(folder, 'model.cnf')
        while lower < upper:
            left = seconds - (time.monotonic() - start)
            if left < 1:
                break
            r = upper - 1
            if model == 'pairs':
                made = write_pairs_cnf(genotypes, clique, r, path)
            else:
                made = write_cnf(genotypes, clique, r, path)
            if made is None:
                lower = upper
                break
            answer, values = solve(path, left)
            calls += 1
            if log:
                log(f'{r} haplotypes: {answer} at {time.monotonic() - start:.1f} s')
            if answer == 'UNSAT':
                lower = upper
            elif answer == 'SAT':
                upper = decode_pairs(genotypes, made, values) if model == 'pairs' else decode(genotypes, *made, values)
            else:
                break
    return (lower, upper, calls)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('genotypes')
    parser.add_argument('--upper', type=int, help='a number of haplotypes known to suffice')
    parser.add_argument('--seconds', type=float, default=600)
    parser.add_argument('--verbose', action='store_true')
    parser.add_argument('--model', choices=['pairs', 'slots'], default='pairs')
    args = parser.parse_args()
    log = (lambda text: print(text, file=sys.stderr, flush=True)) if args.verbose else None
    lower, upper, _ = fewest_haplotypes(read_genotypes(args.genotypes), args.upper, args.seconds, log, args.model)
    print(f'optimum {upper}' if lower >= upper else f'between {lower} and {upper}')


if __name__ == '__main__':
    sys.exit(main())
