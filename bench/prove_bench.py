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

With --gaps it runs instead the instances where the exact check and the
improvement phase used to stop short (random and mutation-tree pools,
coalescent samples with strong recombination from `scrm`, and Gusfield's
browndata and datagperm when --gusfield names a folder that holds them),
and prints for each the optimum found by an exact solver of its own
(bench/pph_exact.py: the `cadical` program on a CNF written there, up to
--exact-seconds), the verdict and seconds of `--prove`, and the count and
seconds of `--improve`:

    bench/prove_bench.py build/velmora --gaps --seeds 3 --gusfield DIR --cache exact.json
"""
import argparse
import hashlib
import json
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


def coalescent_text(count, sites, rho, seed):
    """`count` genotypes of consecutive pairs of 2*count haplotypes that scrm
    samples with recombination rate rho, on the first `sites` segregating
    sites (theta chosen so that enough segregate)."""
    haplotypes = 2 * count
    harmonic = sum(1.0 / i for i in range(1, haplotypes))
    theta = 1.5 * sites / harmonic
    for attempt in range(10):
        done = subprocess.run(['scrm', str(haplotypes), '1', '-t', f'{theta:.3f}', '-r', str(rho), '100000',
                               '-seed', str(seed * 100 + attempt)], capture_output=True, text=True, check=True)
        lines = done.stdout.splitlines()
        start = next(i for i, line in enumerate(lines) if line.startswith('positions:')) + 1
        rows = [line.strip() for line in lines[start:start + haplotypes]]
        if len(rows[0]) >= sites:
            break
        theta *= 1.5
    rows = [r[:sites] for r in rows]
    genotypes = [''.join(x if x == y else '2' for x, y in zip(rows[2 * i], rows[2 * i + 1])) for i in range(count)]
    return f'{count} {sites}\n' + '\n'.join(genotypes) + '\n'


def gusfield_text(path):
    """Gusfield's data files: a line naming the set, the counts, then one
    genotype a line with its sites separated by blanks."""
    lines = [line.split() for line in open(path) if line.strip()]
    start = next(i for i, tokens in enumerate(lines) if len(tokens) == 2 and all(t.isdigit() for t in tokens))
    count, sites = int(lines[start][0]), int(lines[start][1])
    genotypes = [''.join(tokens) for tokens in lines[start + 1:start + 1 + count]]
    assert all(len(g) == sites for g in genotypes), path
    return f'{count} {sites}\n' + '\n'.join(genotypes) + '\n'


# The instances of --gaps: (name, kind, genotypes, sites, pool or rho).
GAP_KINDS = [
    ('random', 60, 12, 40), ('random', 100, 10, 30), ('random', 1000, 10, 250), ('random', 1000, 30, 250),
    ('coalescent', 50, 50, 100), ('coalescent', 50, 200, 100),
    ('tree', 300, 100, 75), ('tree', 1000, 100, 250),
]


def gap_instances(seeds, gusfield):
    for kind, count, sites, extra in GAP_KINDS:
        for seed in range(1, seeds + 1):
            if kind == 'coalescent':
                yield f'coal-{count}x{sites}-rho{extra}-s{seed}', lambda c=count, l=sites, r=extra, s=seed: coalescent_text(c, l, r, s)
            else:
                yield (f'{kind}-{count}x{sites}-p{extra}-s{seed}',
                       lambda k=kind, c=count, l=sites, p=extra, s=seed: instance_text(k, c, l, p, s))
    if gusfield:
        for name in ('browndata', 'datagperm'):
            path = os.path.join(gusfield, name)
            if os.path.exists(path):
                yield name, lambda p=path: gusfield_text(p)


def result_count(path):
    """The haplotypes listed in a result file."""
    count = 0
    for line in open(path):
        if line.startswith('END HAPLOTYPE_LIST'):
            break
        if re.match(r'^ *\d+: ', line):
            count += 1
    return count


def run_improve(executable, path, seconds, folder):
    start = time.monotonic()
    result = os.path.join(folder, 'improved.txt')
    done = subprocess.run([executable, path, result, '--improve', str(seconds)], capture_output=True, text=True)
    if done.returncode != 0:
        raise SystemExit(f'--improve failed on {path}:\n{done.stdout}{done.stderr}')
    return result_count(result), time.monotonic() - start


def run_gaps(args):
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    import pph_exact
    cache = {}
    if args.cache and os.path.exists(args.cache):
        cache = json.load(open(args.cache))
    header = (f'{"instance":<30} {"dist":>5} {"exact":>9} {"exact s":>7} | {"--prove":>9} {"s":>6} |'
              f' {"--improve":>9} {"s":>5}')
    print(header)
    print('-' * len(header))
    keep = args.keep or tempfile.mkdtemp(prefix='velmora_gaps_')
    os.makedirs(keep, exist_ok=True)
    for name, make in gap_instances(args.seeds, args.gusfield):
        if args.only and not re.search(args.only, name):
            continue
        path = os.path.join(keep, name + '.txt')
        text = make()
        with open(path, 'w') as f:
            f.write(text)
        distinct = len(set(text.split()[2:]))
        proof = run(args.executable, path, args.prove, keep)
        improved, improve_seconds = run_improve(args.executable, path, args.improve, keep)
        upper = min(proof['found'], improved)
        key = hashlib.sha1(text.encode()).hexdigest()
        entry = cache.get(key)
        if entry is None or (entry['lower'] < entry['upper'] and entry['seconds'] + 1 < args.exact_seconds
                             and upper < entry['upper']):
            start = time.monotonic()
            lower, high, _ = pph_exact.fewest_haplotypes(text.split()[2:], upper, args.exact_seconds)
            entry = {'name': name, 'lower': lower, 'upper': high, 'seconds': time.monotonic() - start}
            cache[key] = entry
            if args.cache:
                json.dump(cache, open(args.cache, 'w'), indent=1, sort_keys=True)
        exact = str(entry['upper']) if entry['lower'] >= entry['upper'] else f'{entry["lower"]}..{entry["upper"]}'
        verdict = str(proof['found']) if proof['proven'] else f'{proof["bound"]}..{proof["found"]}'
        print(f'{name:<30} {distinct:>5} {exact:>9} {entry["seconds"]:>7.1f} | {verdict:>9} {proof["wall"]:>6.1f} |'
              f' {improved:>9} {improve_seconds:>5.1f}', flush=True)


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
    parser.add_argument('--gaps', action='store_true', help='the instances where the check used to stop short')
    parser.add_argument('--improve', type=int, default=30, help='seconds given to --improve with --gaps (default 30)')
    parser.add_argument('--exact-seconds', type=float, default=600,
                        help='seconds given to the exact solver with --gaps (default 600)')
    parser.add_argument('--cache', help='a JSON file that keeps the exact solver\'s answers between runs')
    parser.add_argument('--gusfield', help='a folder holding Gusfield\'s browndata and datagperm')
    parser.add_argument('--keep', help='a folder where the --gaps instances are written and kept')
    parser.add_argument('--only', help='with --gaps: only the instances whose name matches this pattern')
    args = parser.parse_args()
    if args.gaps:
        return run_gaps(args)

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
