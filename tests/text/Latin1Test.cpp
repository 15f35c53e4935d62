// Latin-1 and UTF-8 against the C library's iconv. What iconv makes of every Latin-1 code and of
// the texts it stops in is checked in as tests/data/latin1-iconv.txt for the systems that have no
// iconv; the Linux run checks that table against iconv itself.
#include "ZEMTestSupport.h"

#include <zem/text/ZEMLatin1.h>

#include <gtest/gtest.h>

#ifndef _WIN32
#include <iconv.h>
#endif

#include <sstream>
#include <string>
#include <vector>

namespace {

// Texts the conversion from UTF-8 stops in, with what it converted before and where it stopped.
struct Case {
    std::string text;
    std::string before; // what out holds
    size_t offset, character;
    uint32_t code;
};

const Case STOPS[] = {
    {"W\xC3\xB6rld \xE2\x82\xAC!", "W\xF6rld ", 7, 6, 0x20AC}, // the euro sign
    {"ab\xF0\x9F\x98\x80", "ab", 2, 2, 0x1F600},               // four bytes
    {"a\xC3", "a", 1, 1, ZEMLatin1::INVALID},                  // cut short
    {"\xC3\xA9\x80", "\xE9", 2, 1, ZEMLatin1::INVALID},        // lone continuation
    {"\xC0\xAF", "", 0, 0, ZEMLatin1::INVALID},                // overlong '/'
    {"x\xED\xA0\x80", "x", 1, 1, ZEMLatin1::INVALID},          // a surrogate
    {"\xF4\x90\x80\x80", "", 0, 0, ZEMLatin1::INVALID},        // above 0x10FFFF
    {"\xE9t\xE9", "", 0, 0, ZEMLatin1::INVALID},               // Latin-1, not UTF-8
};

const char* const TABLE = "latin1-iconv.txt";
constexpr size_t ALL = std::string::npos;

// One conversion iconv made.
struct Row {
    char direction = 'L';
    std::string in, out;
    size_t stop = ALL;
};

std::string Hex(const std::string& bytes) {
    if (bytes.empty()) return "-";
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (const char c : bytes) {
        hex += digits[uint8_t(c) >> 4];
        hex += digits[uint8_t(c) & 15];
    }
    return hex;
}

std::string Bytes(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; hex != "-" && i + 1 < hex.size(); i += 2)
        bytes += char(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

std::vector<Row> ReadTable(const std::string& text) {
    std::istringstream lines(text);
    std::vector<Row> rows;
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string direction, in, out, stop;
        fields >> direction >> in >> out >> stop;
        Row row;
        row.direction = direction[0];
        row.in = Bytes(in);
        row.out = Bytes(out);
        row.stop = stop == "-" ? ALL : std::stoul(stop);
        rows.push_back(row);
    }
    return rows;
}

#ifndef _WIN32
// What iconv makes of text, and the byte of it where iconv stopped.
Row Iconv(char direction, std::string text) {
    const bool toUtf8 = direction == 'L';
    iconv_t cd = iconv_open(toUtf8 ? "UTF-8" : "ISO-8859-1", toUtf8 ? "ISO-8859-1" : "UTF-8");
    std::string out(4 * text.size() + 4, '\0');
    char* in = &text[0];
    char* put = &out[0];
    size_t inLeft = text.size(), outLeft = out.size();
    const bool all = iconv(cd, &in, &inLeft, &put, &outLeft) != size_t(-1);
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return Row{direction, text, out, all ? ALL : size_t(in - text.data())};
}

std::string WriteTable(const std::vector<Row>& rows) {
    std::string text =
        "# What iconv makes of Latin-1 and UTF-8, one conversion a line: L (Latin-1 to UTF-8)\n"
        "# or U (UTF-8 to Latin-1), the input and the output in hex (- for none), and the byte\n"
        "# of the input where iconv stopped (- when it converted everything).\n";
    for (const Row& row : rows) {
        text += std::string(1, row.direction) + " " + Hex(row.in) + " " + Hex(row.out) + " " +
                (row.stop == ALL ? "-" : std::to_string(row.stop)) + "\n";
    }
    return text;
}
#endif

TEST(Latin1Test, TheCheckedInTableIsWhatIconvMakes) {
#ifdef _WIN32
    GTEST_SKIP() << zemtest::NO_PEERS;
#else
    std::vector<Row> rows;
    for (int c = 0; c < 256; ++c)
        rows.push_back(Iconv('L', std::string(1, char(c))));
    for (const Case& c : STOPS)
        rows.push_back(Iconv('U', c.text));
    zemtest::ExpectFixture(TABLE, WriteTable(rows));
#endif
}

TEST(Latin1Test, EveryCodeAndEveryStopAreAsIconvHasThem) {
    const std::vector<Row> rows = ReadTable(zemtest::ReadFile(zemtest::DataPath(TABLE)));
    ASSERT_EQ(rows.size(), 256 + sizeof STOPS / sizeof STOPS[0]);
    std::string all, allUtf8;
    for (const Row& row : rows) {
        SCOPED_TRACE(Hex(row.in));
        std::string out;
        ZEMLatin1::Stop stop;
        if (row.direction == 'U') {
            EXPECT_FALSE(ZEMLatin1::FromUtf8(row.in.data(), row.in.size(), out, &stop));
            EXPECT_EQ(out, row.out);
            EXPECT_EQ(stop.offset, row.stop);
            continue;
        }
        ASSERT_EQ(row.stop, ALL);
        EXPECT_EQ(ZEMLatin1::ToUtf8(row.in.data(), row.in.size()), row.out);
        EXPECT_TRUE(ZEMLatin1::FromUtf8(row.out.data(), row.out.size(), out));
        EXPECT_EQ(out, row.in);
        all += row.in;
        allUtf8 += row.out;
    }
    EXPECT_EQ(ZEMLatin1::ToUtf8(all.data(), all.size()), allUtf8);
    EXPECT_TRUE(ZEMLatin1::LooksUtf8(allUtf8.data(), allUtf8.size()));
    EXPECT_FALSE(ZEMLatin1::LooksUtf8("plain ASCII", 11)); // nothing tells the two apart
    EXPECT_FALSE(ZEMLatin1::LooksUtf8(all.data(), all.size()));
}

TEST(Latin1Test, StopsAtTheFirstCharacterOutsideLatin1OrMalformed) {
    for (const Case& c : STOPS) {
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
