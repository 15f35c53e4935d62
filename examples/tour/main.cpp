// A tour of ZEMBase as a program meets it.
#include <zem/zembase.h>

int main() {
    ZEM::LOG("ZEMBase %s (%d)\n", ZEM::Versiont(), ZEM::Versioni());
    return 0;
}
