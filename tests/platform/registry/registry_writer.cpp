// Helper process for the store tests: writes <count> integer values named <prefix>N (N = 0 ..
// count-1, value N) into "\Software\Vornix\Test" of the store that KIVRA_REGISTRY_FILE names,
// one change at a time, as a second running copy of the program would.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "TRegistry.h"

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: registry_writer <count> <prefix>\n");
        return 2;
    }
    const int count = std::atoi(argv[1]);
    const std::string prefix = argv[2];
    try {
        for (int i = 0; i < count; ++i) {
            TRegistry reg;
            if (!reg.OpenKey("\\Software\\Vornix\\Test", true)) return 3;
            reg.WriteInteger(prefix + std::to_string(i), i);
        }
    } catch (const ERegistryException &e) {
        std::fprintf(stderr, "%s\n", e.Message.c_str());
        return 1;
    }
    return 0;
}
