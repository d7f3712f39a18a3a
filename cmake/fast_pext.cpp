// Exits with 0 when this processor has BMI2 and executes PEXT in hardware at
// full speed: every Intel processor with BMI2, AMD from family 25 (Zen 3) on.
// Earlier AMD processors run PEXT in microcode, slower than a magic multiply.
#include <cpuid.h>

int main() {
    unsigned a, b, c, d;
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d) || !(b & (1u << 8))) return 1;
    if (!__get_cpuid(0, &a, &b, &c, &d)) return 1;
    bool amd = b == 0x68747541u; // "AuthenticAMD"
    if (!__get_cpuid(1, &a, &b, &c, &d)) return 1;
    unsigned family = (a >> 8) & 15;
    if (family == 15) family += (a >> 20) & 255;
    return amd && family < 25 ? 1 : 0;
}
