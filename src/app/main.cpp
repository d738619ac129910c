// Process entry: the headless text face for now.
#include "app/headless_runner.h"

int main(int argc, char** argv) { return brimwick::runHeadless(argc, argv); }
