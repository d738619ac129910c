// A loadable module without the desktop entry.
extern "C" __attribute__((visibility("default"))) int brimwick_something_else() {
    return 0;
}
