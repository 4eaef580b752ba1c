#!/usr/bin/env python3
"""A fast look at which faults the tests miss, for finding survivors before a sample counts.

  scripts/mutation-survey.py BUILD_DIR SEED COUNT FOLDER...

Takes the same sample as ../shared/tools/mutants.py (its operators, its places, its seed) and puts
each fault in on its own, in this checkout, restoring the source afterwards. Rather than ctest, it
runs the gtest binary in two shards that stop at the first failure, then the script tests: about
10 s for a fault the tests notice, 35 s for one they miss, on a -O0 build. It prints one line per
fault. A survey is for finding kinds of survivor; the score that counts is mutants.py's, on a seed
chosen after the last test. Run it on a clone you are not editing, from the clone's root.
"""
import os, random, signal, subprocess, sys, time

HERE = os.path.dirname(os.path.abspath(__file__))
MUTANTS = os.path.join(HERE, "..", "..", "shared", "tools", "mutants.py")
exec(open(MUTANTS).read().split("if __name__")[0])

def sh(cmd, timeout=900):
    p = subprocess.Popen(cmd, shell=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                         start_new_session=True)
    try:
        return p.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        os.killpg(p.pid, signal.SIGKILL)
        p.wait()
        return "timeout"

def tests(build):
    procs = [subprocess.Popen("./veldra_tests --gtest_fail_fast", shell=True, cwd=f"{build}/tests",
                              env=dict(os.environ, GTEST_TOTAL_SHARDS="2", GTEST_SHARD_INDEX=str(i)),
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              start_new_session=True) for i in range(2)]
    start = time.time()
    while any(p.poll() is None for p in procs):
        if any(p.poll() not in (None, 0) for p in procs) or time.time() - start > 300:
            break
        time.sleep(0.2)
    for p in procs:
        if p.poll() is None:
            os.killpg(p.pid, signal.SIGKILL)
            p.wait()
    if any(p.returncode != 0 for p in procs):
        return 1
    return sh(f"ctest --test-dir {build} -j2 --stop-on-failure --timeout 120 "
              "-R 'boot|round_trip|hybrid|layers|manual' -E 'Format'")

def main():
    build, seed, count, paths = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4:]
    if sh(f"cmake --build {build} -j2") != 0 or tests(build) != 0:
        sys.exit("the unchanged tree does not build or pass its tests")
    places = sites(sources(paths))
    for path, i, name, pos in sorted(random.Random(seed).sample(places, min(count, len(places)))):
        with open(path, encoding="utf-8", errors="surrogateescape") as f:
            original = f.read()
        lines = original.split("\n")
        changed = mutate(lines[i], name, pos)
        if changed is None or changed == lines[i]:
            continue
        lines[i] = changed
        began = time.time()
        try:
            with open(path, "w", encoding="utf-8", errors="surrogateescape") as f:
                f.write("\n".join(lines))
            if sh(f"cmake --build {build} -j2") != 0:
                verdict = "no-build"
            else:
                verdict = "SURVIVED" if tests(build) == 0 else "killed"
        finally:
            with open(path, "w", encoding="utf-8", errors="surrogateescape") as f:
                f.write(original)
            os.utime(path, None)
        print(f"{verdict:9} {path}:{i + 1} {name} | {changed.strip()}  [{time.time() - began:.0f}s]",
              flush=True)
    sh(f"cmake --build {build} -j2")

if __name__ == "__main__":
    main()
