#include "support/test_support.h"

#include <cstdlib>
#include <sys/stat.h>

std::string TestDataDir() {
    const char* dirs[] = {std::getenv("VESK_DATA"), std::getenv("VESK_DATA_DEFAULT")};
    for (const char* d : dirs) {
        struct stat st;
        if (d && *d && stat(d, &st) == 0 && S_ISDIR(st.st_mode)) return d;
    }
    return "";
}

void InitEngineForTests() {}
