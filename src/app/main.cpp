// Process entry: the headless text face for now.
#include <cstring>
#include <iostream>

#include "app/headless_runner.h"
#include "app/hooks_cli.h"

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "hooks") == 0) {
        return brimwick::runHooksCli(argc - 2, argv + 2, std::cout, std::cerr);
    }
    return brimwick::runHeadless(argc, argv);
}
