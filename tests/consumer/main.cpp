#include <zem/zembase.h>

#include <cstdio>
#if __cplusplus >= 202002L
#include <span>
#endif

int main() {
#if __cplusplus >= 202002L
    // The package must leave the language standard to its consumer.
    const int versions[] = {ZEM::Versioni()};
    std::span<const int> version(versions);
    std::printf("C++20 ");
#else
    const int version[] = {ZEM::Versioni()};
#endif
    std::printf("ZEMBase %s\n", ZEM::Versiont());
    return version[0] == 2000 ? 0 : 1;
}
