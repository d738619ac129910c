// A stand-in desktop module whose entry answers with its argument count, so the loader can be
// checked without Qt.
extern "C" __attribute__((visibility("default"))) int brimwick_run_desktop(int argc, char**) {
    return 40 + argc;
}
