"""Two renders in two Python threads at once against the same two one after the other: the
module releases the GIL while it renders, so at once should take about as long as one render
when each has a core of its own.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_threads.py [SIDE] [THREADS_EACH]
"""

import sys
import threading
import time

import numpy as np

import quillbloom

SIDE = int(sys.argv[1]) if len(sys.argv) > 1 else 1024
THREADS_EACH = int(sys.argv[2]) if len(sys.argv) > 2 else 1
AMOUNT = 40.0
REPEATS = 3


def scene():
    rng = np.random.default_rng(1)
    picture = rng.integers(0, 256, (SIDE, SIDE, 3), dtype=np.uint8)
    distance = np.broadcast_to(np.linspace(255, 0, SIDE).astype(np.uint8), (SIDE, SIDE))
    return picture, np.ascontiguousarray(distance)


def render(picture, distance):
    quillbloom.render(picture, distance, amount=AMOUNT, threads=THREADS_EACH)


def one_after_the_other(picture, distance):
    render(picture, distance)
    render(picture, distance)


def at_once(picture, distance):
    workers = [threading.Thread(target=render, args=(picture, distance)) for _ in range(2)]
    for worker in workers:
        worker.start()
    for worker in workers:
        worker.join()


def best_seconds(run, *arguments):
    times = []
    for _ in range(REPEATS):
        started = time.perf_counter()
        run(*arguments)
        times.append(time.perf_counter() - started)
    return min(times)


def main():
    picture, distance = scene()
    render(picture, distance)
    serial = best_seconds(one_after_the_other, picture, distance)
    parallel = best_seconds(at_once, picture, distance)
    print(f"{SIDE}x{SIDE}, amount {AMOUNT:g}, {THREADS_EACH} thread(s) a render, best of {REPEATS}")
    print(f"two renders one after the other: {serial:.3f} s")
    print(f"two renders in two threads:      {parallel:.3f} s  ({serial / parallel:.2f}x)")


if __name__ == "__main__":
    main()
