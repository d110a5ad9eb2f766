"""The Python module against the tool on the same pixels, and its handling of arrays, errors,
cancellation and threads. Run by CTest with PYTHONPATH naming the built module and QB_TOOL the
built tool."""

import os
import signal
import subprocess
import tempfile
import threading
import unittest

import numpy as np

import png_files
import quillbloom

TOOL = os.environ["QB_TOOL"]
HEIGHT, WIDTH = 48, 64
AMOUNT = 12.0
# Bright points among darker texture: highlights are where bokeh shows and where a wrong level
# or a lost channel would show most.
HIGHLIGHTS = ((10, 12), (30, 40), (20, 55))


def scene(dtype):
    """A picture with highlights and a distance map from near (left) to far (right)."""
    rng = np.random.default_rng(7)
    top = np.iinfo(dtype).max if np.issubdtype(dtype, np.integer) else 1.0
    picture = rng.uniform(0.1, 0.5, (HEIGHT, WIDTH, 3)) * top
    for y, x in HIGHLIGHTS:
        picture[y, x] = top
    ramp = np.linspace(top, 0, WIDTH)
    distance = np.broadcast_to(ramp, (HEIGHT, WIDTH))
    return picture.astype(dtype), np.ascontiguousarray(distance).astype(dtype)


def run_tool(*arguments):
    subprocess.run([TOOL, *arguments], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def tool_render(picture, distance, *flags):
    """The tool's render of the same pixels, through files it reads and writes."""
    with tempfile.TemporaryDirectory() as folder:
        source = os.path.join(folder, "in.png")
        output = os.path.join(folder, "out.png")
        png_files.write(source, picture)
        arguments = [source, "-o", output, *flags]
        if distance is not None:
            distance_file = os.path.join(folder, "distance.png")
            png_files.write(distance_file, distance)
            arguments += ["--distance", distance_file]
        run_tool("render", *arguments)
        return png_files.read(output)


def resident_kilobytes():
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise RuntimeError("no VmRSS in /proc/self/status")


class Stop(Exception):
    pass


def stop_at_once(fraction):
    raise Stop(fraction)


class SameAsTheTool(unittest.TestCase):
    def test_integer_pictures_with_and_without_distance(self):
        for dtype in (np.uint8, np.uint16):
            picture, distance = scene(dtype)
            for with_distance in (True, False):
                with self.subTest(dtype=dtype.__name__, distance=with_distance):
                    given = distance if with_distance else None
                    ours = quillbloom.render(picture, given, focus=64, amount=AMOUNT)
                    theirs = tool_render(picture, given, "--focus", "64", "--amount", str(AMOUNT))
                    self.assertEqual(ours.dtype, picture.dtype)
                    np.testing.assert_array_equal(ours, theirs)

    def test_alpha_bokeh_spreads_alpha_as_the_tool_does(self):
        picture, distance = scene(np.uint8)
        alpha = np.where(np.arange(WIDTH) % 16 < 8, 255, 0).astype(np.uint8)
        with_alpha = np.dstack([picture, np.broadcast_to(alpha, (HEIGHT, WIDTH))])
        ours = quillbloom.render(with_alpha, distance, amount=AMOUNT, alpha_bokeh=0.5)
        theirs = tool_render(with_alpha, distance, "--amount", str(AMOUNT), "--alpha-bokeh=0.5")
        np.testing.assert_array_equal(ours, theirs)
        self.assertFalse(np.array_equal(
            ours, quillbloom.render(with_alpha, distance, amount=AMOUNT)))

    def test_focus_at_picks_as_the_tool_does(self):
        picture, distance = scene(np.uint8)
        ours = quillbloom.render(picture, distance, focus_at=(50, 20), amount=AMOUNT)
        theirs = tool_render(picture, distance, "--focus-at", "50,20", "--amount", str(AMOUNT))
        np.testing.assert_array_equal(ours, theirs)

    def test_downsample_reduces_as_the_tool_does(self):
        picture, distance = scene(np.uint16)
        ours = quillbloom.render(picture, distance, amount=AMOUNT, downsample=4)
        theirs = tool_render(picture, distance, "--amount", str(AMOUNT), "--downsample", "4")
        self.assertEqual(ours.shape, (HEIGHT // 4, WIDTH // 4, 3))
        np.testing.assert_array_equal(ours, theirs)
        # Where blocks are cut short the tool pads its frame with transparent pixels; an array
        # has no frame, so its last blocks are the means of what they hold.
        ragged = quillbloom.render(picture, distance, amount=AMOUNT, downsample=5)
        self.assertEqual(ragged.shape, (-(-HEIGHT // 5), -(-WIDTH // 5), 3))

    def test_float_distance_is_its_nearest_sixteen_bit_level(self):
        picture, distance = scene(np.uint16)
        as_float = distance.astype(np.float32) / np.iinfo(np.uint16).max
        for floats in (as_float, as_float.astype(np.float64)):
            with self.subTest(dtype=floats.dtype.name):
                np.testing.assert_array_equal(
                    quillbloom.render(picture, floats, amount=AMOUNT),
                    quillbloom.render(picture, distance, amount=AMOUNT))

    def test_shapes_and_controls_are_the_tools(self):
        listing = subprocess.run([TOOL, "shapes"], check=True, capture_output=True,
                                 text=True).stdout
        for name in quillbloom.shapes():
            self.assertIn(name, listing)
        controls = subprocess.run([TOOL, "controls"], check=True, capture_output=True,
                                  text=True).stdout
        for control in quillbloom.controls():
            self.assertIn(control["kind"], controls)
            if control["kind"] == "popup":
                self.assertIn("|".join(control["choices"]), controls)
        names = [control["name"] for control in quillbloom.controls()]
        self.assertIn("Bokeh Amount", names)
        version = subprocess.run([TOOL, "--version"], check=True, capture_output=True,
                                 text=True).stdout
        self.assertEqual(version, f"quillbloom {quillbloom.__version__}\n")


class Arrays(unittest.TestCase):
    def test_views_and_read_only_arrays_render_as_their_copies(self):
        picture, distance = scene(np.uint8)
        wide = np.zeros((HEIGHT * 2, WIDTH * 2, 4), np.uint8)
        wide[::2, ::2, :3] = picture
        strided = wide[::2, ::2, :3]
        frozen = picture.copy()
        frozen.setflags(write=False)
        expected = quillbloom.render(picture, distance, amount=AMOUNT)
        for name, view in (("strided", strided), ("read-only", frozen),
                           ("fortran", np.asfortranarray(picture))):
            with self.subTest(name):
                np.testing.assert_array_equal(
                    quillbloom.render(view, distance[:, ::1], amount=AMOUNT), expected)

    def test_input_is_left_as_it_was_and_result_is_new(self):
        picture, distance = scene(np.uint16)
        before = picture.copy()
        result = quillbloom.render(picture, distance, amount=AMOUNT)
        np.testing.assert_array_equal(picture, before)
        self.assertFalse(np.shares_memory(result, picture))

    def test_alpha_is_kept_and_rgb_is_opaque(self):
        picture, distance = scene(np.uint8)
        opaque = np.dstack([picture, np.full((HEIGHT, WIDTH), 255, np.uint8)])
        with_alpha = quillbloom.render(opaque, distance, amount=AMOUNT)
        self.assertEqual(with_alpha.shape, (HEIGHT, WIDTH, 4))
        np.testing.assert_array_equal(with_alpha[..., 3], 255)
        np.testing.assert_array_equal(with_alpha[..., :3],
                                      quillbloom.render(picture, distance, amount=AMOUNT))

    def test_float_light_above_one_survives_and_keeps_its_energy(self):
        light = np.full((HEIGHT, WIDTH, 3), 0.05, np.float32)
        light[HEIGHT // 2, WIDTH // 2] = 200.0
        result = quillbloom.render(light, amount=AMOUNT)
        self.assertEqual(result.dtype, np.float32)
        self.assertGreater(result.max(), 1.0)
        # The spot spreads into a disc but its light stays: within a twentieth.
        self.assertAlmostEqual(result.sum() / light.sum(), 1.0, delta=0.05)
        self.assertLess(result.max(), 200.0)

    def test_not_a_number_is_no_light(self):
        light = np.full((HEIGHT, WIDTH, 3), 0.25, np.float32)
        light[5, 5] = np.nan
        self.assertTrue(np.isfinite(quillbloom.render(light, amount=AMOUNT)).all())


class Errors(unittest.TestCase):
    def setUp(self):
        self.picture, self.distance = scene(np.uint8)

    def test_bad_arguments_raise_value_error_with_their_reason(self):
        cases = (
            ({"image": np.zeros((4, 4, 2), np.uint8)}, "H x W x 3 or H x W x 4"),
            ({"image": np.zeros((4, 4, 3), np.int32)}, "uint8, uint16 or float32"),
            ({"image": np.zeros((4, 4, 3), np.float64)}, "uint8, uint16 or float32"),
            ({"image": np.zeros((0, 4, 3), np.uint8)}, "no pixels"),
            ({"distance": np.zeros((4, 4), np.uint8)}, "distance is 4x4"),
            ({"distance": np.zeros((HEIGHT, WIDTH), np.int8)}, "distance is of int8"),
            ({"shape": "No Such Iris"}, "No Such Iris"),
            ({"quality": "nonsense"}, "nonsense"),
            ({"amount": 1e9}, "Bokeh Amount"),
            ({"focus_at": (WIDTH, 0)}, "outside"),
            ({"focus_at": (1, 1), "distance": None}, "give distance"),
            ({"downsample": 0}, "downsample"),
            ({"threads": 0}, "threads"),
        )
        for changes, message in cases:
            arguments = {"image": self.picture, "distance": self.distance, "amount": AMOUNT}
            arguments.update(changes)
            with self.subTest(message):
                with self.assertRaisesRegex(ValueError, message):
                    quillbloom.render(**arguments)

    def test_wrong_argument_types_raise_type_error(self):
        with self.assertRaises(TypeError):
            quillbloom.render(self.picture, quality=1.5)


class Progress(unittest.TestCase):
    def test_progress_reports_fractions_on_the_calling_thread(self):
        picture, distance = scene(np.uint8)
        fractions = []
        threads = set()

        def report(fraction):
            fractions.append(fraction)
            threads.add(threading.get_ident())

        quillbloom.render(picture, distance, amount=AMOUNT, progress=report)
        self.assertTrue(fractions)
        self.assertTrue(all(0.0 <= fraction <= 1.0 for fraction in fractions))
        self.assertEqual(threads, {threading.get_ident()})

    def test_an_exception_in_progress_cancels_and_propagates(self):
        picture, distance = scene(np.uint8)
        for raised in (Stop, KeyboardInterrupt):
            def stop(fraction, raised=raised):
                raise raised(fraction)
            with self.subTest(raised.__name__):
                with self.assertRaises(raised):
                    quillbloom.render(picture, distance, amount=AMOUNT, progress=stop)

    def test_ctrl_c_stops_a_render_that_reports_to_nobody(self):
        # Large and on one thread, so that the render is still running when Ctrl-C comes.
        side = 2048
        picture = np.random.default_rng(3).integers(0, 256, (side, side, 3), dtype=np.uint8)
        distance = np.tile(np.linspace(255, 0, side).astype(np.uint8), (side, 1))
        ctrl_c = threading.Timer(0.2, os.kill, (os.getpid(), signal.SIGINT))
        ctrl_c.start()
        with self.assertRaises(KeyboardInterrupt):
            quillbloom.render(picture, distance, amount=300, threads=1)
        ctrl_c.join()

    @unittest.skipIf(os.environ.get("QB_SANITIZED"),
                     "the sanitizer's quarantine keeps freed memory")
    def test_repeated_cancels_leave_memory_flat(self):
        picture, distance = scene(np.uint8)
        slack_kilobytes = 8 * 1024

        def cancel(times):
            for _ in range(times):
                with self.assertRaises(Stop):
                    quillbloom.render(picture, distance, amount=AMOUNT, progress=stop_at_once)

        cancel(20)
        before = resident_kilobytes()
        cancel(200)
        self.assertLess(resident_kilobytes() - before, slack_kilobytes)


class Threads(unittest.TestCase):
    def test_thread_counts_and_concurrent_renders_agree(self):
        picture, distance = scene(np.uint16)
        expected = quillbloom.render(picture, distance, amount=AMOUNT)
        np.testing.assert_array_equal(
            quillbloom.render(picture, distance, amount=AMOUNT, threads=1), expected)
        results = [None] * 4

        def render(index):
            results[index] = quillbloom.render(picture, distance, amount=AMOUNT, threads=2)

        workers = [threading.Thread(target=render, args=(i,)) for i in range(len(results))]
        for worker in workers:
            worker.start()
        for worker in workers:
            worker.join()
        for result in results:
            np.testing.assert_array_equal(result, expected)


if __name__ == "__main__":
    unittest.main()
