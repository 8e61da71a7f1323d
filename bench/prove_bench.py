#!/usr/bin/env python3
"""Runs velmora --prove over generated instances and prints one table row per
instance: the haplotypes found, the lower bound, whether the count is proven
optimal, and the seconds of the search and of the proof phase.

Instances are genotypes made from random pairs of a haplotype pool, the pool
being either random strings or the nodes of a mutation tree (each haplotype
copies an earlier one and flips a few sites). Everything is generated from
the seed, so a table can be reproduced.

    bench/prove_bench.py build/velmora                 # the standard grid
    bench/prove_bench.py build/velmora --quick         # up to 100 genotypes only
    bench/prove_bench.py build/velmora --prove 10 --grid 100x100 --pools 2
"""
import argparse
import os
import random
import re
import subprocess
import sys
import tempfile
import time


def random_pool(rng, size, sites):
    return [''.join(rng.choice('01') for _ in range(sites)) for _ in range(size)]


def tree_pool(rng, size, sites):
    """Haplotypes on a mutation tree: each new one copies a random earlier one
    and flips one site, or a few more on longer branches."""
    pool = [''.join(rng.choice('01') for _ in range(sites))]
    while len(pool) < size:
        child = list(rng.choice(pool))
        for _ in range(1 + int(rng.expovariate(1.0) * max(1, sites // 50))):
            s = rng.randrange(sites)
            child[s] = '1' if child[s] == '0' else '0'
        pool.append(''.join(child))
    return pool


def genotypes_of(rng, pool, count):
    out = []
    for _ in range(count):
        a, b = rng.choice(pool), rng.choice(pool)
        out.append(''.join(x if x == y else '2' for x, y in zip(a, b)))
    return out


def instance_text(kind, count, sites, pool_size, seed):
    rng = random.Random(f'{kind}-{count}-{sites}-{pool_size}-{seed}')
    pool = (random_pool if kind == 'random' else tree_pool)(rng, pool_size, sites)
    genotypes = genotypes_of(rng, pool, count)
    return f'{count} {sites}\n' + '\n'.join(genotypes) + '\n'


def pool_sizes(count, divisors):
    """Pools of count/d haplotypes for each divisor d: 10 gives few
    haplotypes shared by many genotypes, 4 many, 2 nearly as many as the
    genotypes can show."""
    return sorted({max(4, count // d) for d in divisors})


def run(executable, path, prove, folder):
    start = time.monotonic()
    done = subprocess.run([executable, path, os.path.join(folder, 'result.txt'), '--prove', str(prove)],
                          capture_output=True, text=True)
    wall = time.monotonic() - start
    out = done.stdout
    row = {'exit': done.returncode, 'wall': wall}
    m = re.search(r'^Proven optimal: (\d+) haplotypes$', out, re.M)
    if m:
        row.update(found=int(m.group(1)), bound=int(m.group(1)), proven=True)
    else:
        m = re.search(r'^Not proven optimal: between (\d+) and (\d+) haplotypes$', out, re.M)
        if not m:
            raise SystemExit(f'no verdict line for {path}:\n{out}')
        row.update(found=int(m.group(2)), bound=int(m.group(1)), proven=False)
    elapsed = float(re.search(r'^elapTime = ([\d.]+) sec\.$', out, re.M).group(1))
    proof = float(re.search(r'^Exact check: (\d+) SAT calls, ([\d.]+) sec\.$', out, re.M).group(2))
    row['calls'] = int(re.search(r'^Exact check: (\d+) SAT calls', out, re.M).group(1))
    row['search'] = elapsed - proof
    row['proof'] = proof
    row['smaller'] = 'fewer than the search' in out
    searched = [int(x) for x in re.findall(r'(\d+)\. ', ''.join(re.findall(r'^Iter # .*$', out, re.M)))]
    row['searchFound'] = min(searched) if searched else row['found']
    return row


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('executable')
    parser.add_argument('--prove', type=int, default=60, help='seconds given to the exact check (default 60)')
    parser.add_argument('--seeds', type=int, default=1, help='instances per grid point (default 1)')
    parser.add_argument('--quick', action='store_true', help='only instances of up to 100 genotypes')
    parser.add_argument('--grid', action='append', help='GENOTYPESxSITES, may be repeated (default: the standard grid)')
    parser.add_argument('--kinds', default='random,tree', help='pool kinds (default random,tree)')
    parser.add_argument('--pools', default='10,4',
                        help='pool sizes as divisors of the genotype count (default 10,4: count/10 and count/4)')
    args = parser.parse_args()

    if args.grid:
        grid = [tuple(int(x) for x in g.split('x')) for g in args.grid]
    else:
        counts = [30, 100] if args.quick else [30, 100, 300, 1000]
        grid = [(n, l) for n in counts for l in (10, 30, 100)]
    header = f'{"instance":<28} {"found":>6} {"search":>6} {"bound":>6} {"proven":>6} {"calls":>5} {"search s":>9} {"proof s":>8}'
    print(header)
    print('-' * len(header))
    with tempfile.TemporaryDirectory(prefix='velmora_prove_bench_') as folder:
        for count, sites in grid:
            for kind in args.kinds.split(','):
                for pool in pool_sizes(count, [int(d) for d in args.pools.split(',')]):
                    for seed in range(1, args.seeds + 1):
                        name = f'{kind}-{count}x{sites}-p{pool}-s{seed}'
                        path = os.path.join(folder, name + '.txt')
                        with open(path, 'w') as f:
                            f.write(instance_text(kind, count, sites, pool, seed))
                        r = run(args.executable, path, args.prove, folder)
                        print(f'{name:<28} {r["found"]:>6} {r["searchFound"]:>6} {r["bound"]:>6} '
                              f'{"yes" if r["proven"] else "no":>6} {r["calls"]:>5} {r["search"]:>9.3f} {r["proof"]:>8.3f}',
                              flush=True)


if __name__ == '__main__':
    sys.exit(main())
