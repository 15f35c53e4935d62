#include <zem/core/ZEMString.h>

ZEMString::ZEMString(const char*) {}
ZEMString::ZEMString(unsigned, const char*) {}
ZEMString::ZEMString(const ZEMString&) {}
ZEMString::ZEMString(ZEMString&&) noexcept {}
ZEMString::~ZEMString() {
    delete[] text;
}
ZEMString& ZEMString::operator=(const ZEMString&) {
    return *this;
}
ZEMString& ZEMString::operator=(ZEMString&&) noexcept {
    return *this;
}
ZEMString& ZEMString::operator=(const char*) {
    return *this;
}
ZEMString& ZEMString::operator+=(char) {
    return *this;
}
ZEMString& ZEMString::operator+=(const ZEMString&) {
    return *this;
}
ZEMString& ZEMString::operator+=(const char*) {
    return *this;
}
void ZEMString::Allocate(unsigned, bool) {}
void ZEMString::ChangeText(const char*, unsigned, unsigned) {}
void ZEMString::Fill(char, unsigned, unsigned) {}
void ZEMString::Insert(const char*, unsigned) {}
void ZEMString::Insert(char, unsigned) {}
void ZEMString::Delete(unsigned, unsigned) {}
unsigned ZEMString::KillWord(unsigned) {
    return 0;
}
int ZEMString::Replace(char, char) {
    return 0;
}
void ZEMString::LowerCase() {}
void ZEMString::UpperCase() {}
void ZEMString::Obfuscate() {}
void ZEMString::MakeFilename() {}
ZEMString& ZEMString::Format(const char*, ...) {
    return *this;
}
unsigned ZEMString::Find(char, unsigned, bool) const {
    return NPOS;
}
unsigned ZEMString::Find(const char*, unsigned, bool) const {
    return NPOS;
}
unsigned ZEMString::Find(const ZEMString&, unsigned, bool) const {
    return NPOS;
}
unsigned ZEMString::RFind(char, unsigned, bool) const {
    return NPOS;
}
unsigned ZEMString::RFind(const char*, unsigned, bool) const {
    return NPOS;
}
unsigned ZEMString::RFind(const ZEMString&, unsigned, bool) const {
    return NPOS;
}
int ZEMString::Compare(const char*, bool, unsigned, unsigned) const {
    return 0;
}
void ZEMString::PrintInfo() const {}
char* ZEMString::StringCopy(const char*, unsigned, unsigned) {
    return nullptr;
}
