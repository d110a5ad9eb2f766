// LeakSanitizer settings of the program that runs GEGL in-process, read by the sanitizer
// runtime when the tests are built with it.
//
// babl registers the formats of its extension modules at start-up and drops the pointers to
// some of them when it unloads those modules at exit: small blocks lost inside the library,
// once per process, whatever the program does. Matching them needs full stacks.
#define QB_SANITIZER_SETTING extern "C" __attribute__((visibility("default"), used)) const char*

QB_SANITIZER_SETTING __lsan_default_suppressions() {
    return "leak:babl_init\n";
}

QB_SANITIZER_SETTING __lsan_default_options() {
    return "fast_unwind_on_malloc=0:print_suppressions=0";
}
