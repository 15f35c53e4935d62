#include <zem/zembase.h>

#include <cstdio>

int main() {
    std::printf("ZEMBase %s\n", ZEM::Versiont());
    return ZEM::Versioni() == 2000 ? 0 : 1;
}
