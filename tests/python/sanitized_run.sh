#!/bin/sh
# Under the sanitizers: the Python tests, run by PYTHON with the sanitizer runtime preloaded
# (LD_PRELOAD, set by CTest). When the interpreter cannot load the instrumented module that way
# the tests are skipped, saying why, rather than failing for a reason that is not the module's.
python="$1"
if ! output=$("$python" -c "import quillbloom" 2>&1); then
    echo "Python tests skipped: the interpreter cannot load the sanitized module with" \
         "LD_PRELOAD=$LD_PRELOAD:"
    echo "$output" | head -n 5
    exit 77
fi
exec "$python" -m unittest -v quillbloom_test
