#pragma once
// The benchmark programs' command line: "--name N" options, each with a fallback.

#include <cstdlib>
#include <cstring>

namespace bench {

// The number after the first "name" on the command line, or fallback when it is not given.
inline int IntArgument(int argc, char **argv, const char *name, int fallback) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0) return std::atoi(argv[i + 1]);
    return fallback;
}

}  // namespace bench
