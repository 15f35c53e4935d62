// Behaviour that every stream shares: typed values, the state machine, WriteStr, line reading.
#include "StreamFixtures.h"

#include <random>

using streamtest::Kind;
using streamtest::StreamKindTest;

namespace {

// Independently known encodings of the values written by WriteAllTypes.
const std::string TYPED_BYTES = std::string("\xAB"
                                            "\x34\x12"
                                            "\x12\x34"
                                            "\x78\x56\x34\x12"
                                            "\x12\x34\x56\x78"
                                            "\x00\x00\xC0\x3F"
                                            "\x00\x00\x00\x00\x00\x00\x02\xC0",
                                            25);

void WriteAllTypes(ZEMResFile& f) {
    EXPECT_TRUE(f.Write8(0xAB));
    EXPECT_TRUE(f.Write16(0x1234));
    EXPECT_TRUE(f.WriteBE16(0x1234));
    EXPECT_TRUE(f.Write32(0x12345678));
    EXPECT_TRUE(f.WriteBE32(0x12345678));
    EXPECT_TRUE(f.WriteFl(1.5f));
    EXPECT_TRUE(f.WriteDbl(-2.25));
}

} // namespace

TEST_P(StreamKindTest, TypedWritesGiveLittleAndBigEndianBytes) {
    auto f = Make(std::string(TYPED_BYTES.size(), '\0'));
    ASSERT_TRUE(f->IsOK());
    WriteAllTypes(*f);
    EXPECT_EQ(f->GetPos(), 25u);
    f->Flush();
    EXPECT_EQ(Bytes(), TYPED_BYTES);
}

TEST_P(StreamKindTest, TypedReadsDecodeAndShortReadsGiveZero) {
    auto f = Make(TYPED_BYTES);
    ASSERT_TRUE(f->IsOK());
    EXPECT_EQ(f->Read8(), 0xAB);
    EXPECT_EQ(f->Read16(), 0x1234);
    EXPECT_EQ(f->ReadBE16(), 0x1234);
    EXPECT_EQ(f->Read32(), 0x12345678u);
    EXPECT_EQ(f->ReadBE32(), 0x12345678u);
    EXPECT_EQ(f->ReadFl(), 1.5f);
    EXPECT_EQ(f->ReadDbl(), -2.25);

    // Two bytes left: a 32-bit read gives 0 but consumes them, and the stream refuses more.
    ASSERT_TRUE(f->Seek(-2, 2));
    EXPECT_EQ(f->Read32(), 0u);
    EXPECT_EQ(f->GetState(), unsigned(ZEMResFile::ST_READ_END));
    EXPECT_EQ(f->GetPos(), 25u);
    ASSERT_TRUE(f->Seek(-2, 2));
    EXPECT_EQ(f->GetState(), unsigned(ZEMResFile::ST_OK));
    EXPECT_EQ(f->ReadDbl(), 0.0);
    EXPECT_EQ(f->Read8(), 0u);

    f->SeekStart();
    EXPECT_TRUE(f->IsOK());
    EXPECT_EQ(f->ReadBE16(), 0xAB34);
}

TEST_P(StreamKindTest, ShortReadStopsTransfersUntilSeek) {
    auto f = Make("abcdefg");
    ASSERT_TRUE(f->IsOK());
    char buf[8] = {};
    ASSERT_TRUE(f->Seek(4, 0));
    EXPECT_EQ(f->Read(buf, 4), 3u);
    EXPECT_EQ(std::string(buf, 3), "efg");
    EXPECT_EQ(f->GetState(), unsigned(ZEMResFile::ST_READ_END));
    EXPECT_EQ(f->Read(buf, 1), 0u);
    EXPECT_EQ(f->Write("x", 1), 0u);
    EXPECT_EQ(f->GetLine(buf, 8, '\n'), 0u);

    f->SeekStart();
    EXPECT_TRUE(f->IsOK());
    EXPECT_EQ(f->Read(nullptr, 4), 0u);
    EXPECT_EQ(f->Read(buf, 0), 0u);
    EXPECT_TRUE(f->IsOK());
    EXPECT_EQ(f->Read(buf, 2), 2u);
    EXPECT_EQ(std::string(buf, 2), "ab");
}

TEST_P(StreamKindTest, WriteStrWritesTheTextWithoutTerminator) {
    auto f = Make("..........");
    ASSERT_TRUE(f->IsOK());
    EXPECT_EQ(f->WriteStr(ZEMString("hello"), 100), 5u);
    EXPECT_EQ(f->WriteStr(ZEMString("world"), 2), 2u);
    EXPECT_EQ(f->WriteStr(ZEMString(""), 5), 0u);
    EXPECT_EQ(f->WriteStr(ZEMString(nullptr), 5), 0u);
    f->Flush();
    EXPECT_EQ(Bytes(), "hellowo...");
}

TEST_P(StreamKindTest, ClosedStreamRefusesEverything) {
    auto f = Make("abc");
    f->Close();
    EXPECT_EQ(f->GetState(), unsigned(ZEMResFile::ST_CLOSED));
    EXPECT_EQ(f->GetMode(), 0u);
    EXPECT_EQ(f->GetName(), nullptr);
    char buf[4];
    ZEMString line;
    EXPECT_EQ(f->Read(buf, 3), 0u);
    EXPECT_EQ(f->Write(buf, 3), 0u);
    EXPECT_EQ(f->GetLine(buf, 4, '\n'), 0u);
    EXPECT_EQ(f->GetLine(line, 4, '\n'), 0u);
    EXPECT_FALSE(f->Seek(0, 0));
    EXPECT_EQ(f->GetPos(), 0u);
    f->SeekStart();
    f->SeekEnd();
    f->Flush();
    EXPECT_EQ(f->GetState(), unsigned(ZEMResFile::ST_CLOSED));
    f->Close(); // twice is harmless
}

INSTANTIATE_TEST_SUITE_P(Streams, StreamKindTest,
                         ::testing::Values(Kind::File, Kind::Mem, Kind::Pack),
                         [](const ::testing::TestParamInfo<Kind>& info) {
                             return std::string(streamtest::KindName(info.param));
                         });

// ---- Line reading, against a byte-at-a-time model of the described rules ----

namespace {

struct Line {
    unsigned result;
    std::string text;
    bool operator==(const Line& o) const { return result == o.result && text == o.text; }
};

std::ostream& operator<<(std::ostream& out, const Line& line) {
    return out << line.result << ":'" << line.text << "'";
}

// The character form. The window stream counts consumed bytes (terminator included) against
// size - 1; the others count stored characters.
std::vector<Line> ModelCharLines(const std::string& data, const std::vector<unsigned>& sizes,
                                 char terminator, bool window) {
    std::vector<Line> lines;
    size_t p = 0;
    for (size_t i = 0;; i++) {
        const unsigned size = sizes[i % sizes.size()];
        if (p >= data.size()) break;
        std::string text;
        size_t consumed = 0;
        const size_t limit = window ? std::min<size_t>(size - 1, data.size() - p) : size - 1;
        while ((window ? consumed : text.size()) < limit && p < data.size()) {
            const char c = data[p++];
            consumed++;
            if (c == terminator) break;
            text += c;
        }
        if (consumed == 0) break;
        if (terminator == '\n' && !text.empty() && text.back() == '\r') {
            text.pop_back();
            consumed--;
        }
        lines.push_back({unsigned(window ? consumed + 1 : text.size() + 1), text});
    }
    return lines;
}

// The string form: the result is the bytes consumed; zero bytes are kept in the line.
std::vector<Line> ModelStringLines(const std::string& data, const std::vector<unsigned>& limits,
                                   char terminator) {
    std::vector<Line> lines;
    size_t p = 0;
    for (size_t i = 0; p < data.size(); i++) {
        const uint64_t limit = limits[i % limits.size()];
        std::string text;
        size_t consumed = 0;
        while (consumed < limit && p < data.size()) {
            const char c = data[p++];
            consumed++;
            if (c == terminator) break;
            text += c;
        }
        if (terminator == '\n' && !text.empty() && text.back() == '\r') text.pop_back();
        lines.push_back({unsigned(consumed), text});
    }
    return lines;
}

// Reads with the sizes in turn, checking each result and buffer against the expected lines.
// The buffer may hold zero bytes, so its text is taken at the expected length.
void ExpectCharLines(ZEMResFile& f, const std::vector<unsigned>& sizes, char terminator,
                     const std::vector<Line>& expected) {
    std::vector<char> buf(*std::max_element(sizes.begin(), sizes.end()));
    for (size_t i = 0; i <= expected.size(); i++) {
        const unsigned size = sizes[i % sizes.size()];
        const unsigned result = f.GetLine(buf.data(), size, terminator);
        if (i == expected.size()) {
            EXPECT_EQ(result, 0u) << "after the last line";
            return;
        }
        const size_t length = expected[i].text.size();
        const Line got{result, std::string(buf.data(), length)};
        ASSERT_EQ(got, expected[i]) << "line " << i << " read with size " << size;
        ASSERT_EQ(buf[length], '\0') << "line " << i;
    }
}

std::vector<Line> ReadStringLines(ZEMResFile& f, const std::vector<unsigned>& limits,
                                  char terminator) {
    std::vector<Line> lines;
    ZEMString line("stale");
    for (size_t i = 0; lines.size() < 100000; i++) {
        const unsigned result = f.GetLine(line, limits[i % limits.size()], terminator);
        if (result == 0) break;
        const char* text = line;
        lines.push_back({result, text ? std::string(text, line.Length()) : std::string()});
    }
    return lines;
}

// Lines of every length up to well past the runtime's buffer, with '\r', zero bytes and runs
// of terminators.
std::string RandomLines(unsigned seed, size_t total) {
    std::mt19937 random(seed);
    const char alphabet[] = {'a', 'b', '\r', '\n', ';', '\0', 'z'};
    std::string data;
    while (data.size() < total) {
        const size_t length = random() % 4 == 0 ? random() % 9000 : random() % 40;
        for (size_t i = 0; i < length; i++)
            data += alphabet[random() % 7 == 0 ? random() % 7 : 0];
        data += random() % 3 == 0 ? "\r\n" : "\n";
    }
    data += "tail\r";
    return data;
}

} // namespace

class LineReadingTest : public zemtest::TempDirTest,
                        public ::testing::WithParamInterface<std::tuple<Kind, char>> {};

TEST_P(LineReadingTest, CharFormMatchesTheDescribedRules) {
    const Kind kind = std::get<0>(GetParam());
    const char terminator = std::get<1>(GetParam());
    const std::string data = RandomLines(7, 60000);
    const std::vector<unsigned> sizes = {1000, 2, 17, 9001, 4097, 3, 5000};
    std::vector<unsigned char> block;
    auto f = streamtest::MakeStream(kind, data, block);
    ASSERT_TRUE(f->IsOK());
    ExpectCharLines(*f, sizes, terminator,
                    ModelCharLines(data, sizes, terminator, kind == Kind::Pack));
    EXPECT_TRUE(f->Eof() || kind == Kind::File);
}

TEST_P(LineReadingTest, StringFormMatchesTheDescribedRules) {
    const Kind kind = std::get<0>(GetParam());
    const char terminator = std::get<1>(GetParam());
    const std::string data = RandomLines(11, 60000);
    const std::vector<unsigned> limits = {0xFFFFFFFFu, 3, 600, 5000, 1, 0xFFFFFFFFu, 513};
    std::vector<unsigned char> block;
    auto f = streamtest::MakeStream(kind, data, block);
    ASSERT_TRUE(f->IsOK());
    EXPECT_EQ(ReadStringLines(*f, limits, terminator), ModelStringLines(data, limits, terminator));
}

INSTANTIATE_TEST_SUITE_P(Streams, LineReadingTest,
                         ::testing::Combine(::testing::Values(Kind::File, Kind::Mem, Kind::Pack),
                                            ::testing::Values('\n', ';')),
                         [](const ::testing::TestParamInfo<std::tuple<Kind, char>>& info) {
                             return std::string(streamtest::KindName(std::get<0>(info.param))) +
                                    (std::get<1>(info.param) == '\n' ? "Newline" : "Semicolon");
                         });
