// Prints "free" or "busy": what canOpenExclusive says of the file named by
// the argument, for the account that runs this.
#include <cstdio>

#include "platform/file_lease.h"

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    std::puts(mervik::canOpenExclusive(argv[1]) ? "free" : "busy");
    return 0;
}
