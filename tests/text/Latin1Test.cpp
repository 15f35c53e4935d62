#include <zem/text/ZEMLatin1.h>

#include <gtest/gtest.h>

#include <iconv.h>

#include <string>

namespace {

// The C library's own conversion, as a second opinion.
std::string Iconv(const char* to, const char* from, std::string text) {
    iconv_t cd = iconv_open(to, from);
    std::string out(4 * text.size() + 4, '\0');
    char* in = &text[0];
    char* put = &out[0];
    size_t inLeft = text.size(), outLeft = out.size();
    const size_t done = iconv(cd, &in, &inLeft, &put, &outLeft);
    iconv_close(cd);
    if (done == size_t(-1)) return "iconv failed";
    out.resize(out.size() - outLeft);
    return out;
}

TEST(Latin1Test, EveryCodeGoesToUtf8AndBackAsIconvDoes) {
    std::string all;
    for (int c = 1; c < 256; ++c)
        all += char(c);
    const std::string utf8 = ZEMLatin1::ToUtf8(all.data(), all.size());
    EXPECT_EQ(utf8, Iconv("UTF-8", "ISO-8859-1", all));
    std::string back;
    ASSERT_TRUE(ZEMLatin1::FromUtf8(utf8.data(), utf8.size(), back));
    EXPECT_EQ(back, all);
    EXPECT_TRUE(ZEMLatin1::LooksUtf8(utf8.data(), utf8.size()));
    EXPECT_FALSE(ZEMLatin1::LooksUtf8("plain ASCII", 11)); // nothing tells the two apart
    EXPECT_FALSE(ZEMLatin1::LooksUtf8(all.data(), all.size()));
}

TEST(Latin1Test, StopsAtTheFirstCharacterOutsideLatin1OrMalformed) {
    struct Case {
        std::string text;
        std::string before; // what out holds
        size_t offset, character;
        uint32_t code;
    };
    const Case cases[] = {
        {"W\xC3\xB6rld \xE2\x82\xAC!", "W\xF6rld ", 7, 6, 0x20AC}, // the euro sign
        {"ab\xF0\x9F\x98\x80", "ab", 2, 2, 0x1F600},               // four bytes
        {"a\xC3", "a", 1, 1, ZEMLatin1::INVALID},                  // cut short
        {"\xC3\xA9\x80", "\xE9", 2, 1, ZEMLatin1::INVALID},        // lone continuation
        {"\xC0\xAF", "", 0, 0, ZEMLatin1::INVALID},                // overlong '/'
        {"x\xED\xA0\x80", "x", 1, 1, ZEMLatin1::INVALID},          // a surrogate
        {"\xF4\x90\x80\x80", "", 0, 0, ZEMLatin1::INVALID},        // above 0x10FFFF
        {"\xE9t\xE9", "", 0, 0, ZEMLatin1::INVALID},               // Latin-1, not UTF-8
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string out;
        ZEMLatin1::Stop stop;
        EXPECT_FALSE(ZEMLatin1::FromUtf8(c.text.data(), c.text.size(), out, &stop));
        EXPECT_EQ(out, c.before);
        EXPECT_EQ(stop.offset, c.offset);
        EXPECT_EQ(stop.character, c.character);
        EXPECT_EQ(stop.code, c.code);
        EXPECT_FALSE(ZEMLatin1::LooksUtf8(c.text.data(), c.text.size()) &&
                     c.code == ZEMLatin1::INVALID);
    }
}

} // namespace
