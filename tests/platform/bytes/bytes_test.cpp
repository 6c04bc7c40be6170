#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include "platform/bytes/byte_reader.h"
#include "platform/bytes/byte_writer.h"

using platform::ByteReader;
using platform::ByteWriter;

namespace {

std::vector<uint8_t> Written(const ByteWriter& out)
{
    const auto bytes = out.Written();
    return {bytes.begin(), bytes.end()};
}

} // namespace

// Every number kind lands in the file low byte first, at its exact width.
TEST(ByteWriter, NumbersAreLittleEndianAtTheirWidth)
{
    struct Case {
        const char* what;
        void (*write)(ByteWriter&);
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"u8", [](ByteWriter& w) { w.U8(0xAB); }, {0xAB}},
        {"u16", [](ByteWriter& w) { w.U16(0x1234); }, {0x34, 0x12}},
        {"i16", [](ByteWriter& w) { w.I16(-2); }, {0xFE, 0xFF}},
        {"u32", [](ByteWriter& w) { w.U32(0x12345678); }, {0x78, 0x56, 0x34, 0x12}},
        {"i32", [](ByteWriter& w) { w.I32(-1); }, {0xFF, 0xFF, 0xFF, 0xFF}},
        {"u64", [](ByteWriter& w) { w.U64(0x0102030405060708ull); }, {8, 7, 6, 5, 4, 3, 2, 1}},
        {"f32", [](ByteWriter& w) { w.F32(1.0f); }, {0x00, 0x00, 0x80, 0x3F}},
        {"chars", [](ByteWriter& w) { w.Chars("DDS "); }, {'D', 'D', 'S', ' '}},
        {"zeros", [](ByteWriter& w) { w.Zeros(3); }, {0, 0, 0}},
        {"align", [](ByteWriter& w) { w.U8(1); w.Align(4); w.Align(4); w.Align(0); }, {1, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        ByteWriter out;
        c.write(out);
        EXPECT_TRUE(out.Ok()) << c.what;
        EXPECT_EQ(Written(out), c.bytes) << c.what;
        EXPECT_EQ(out.Size(), c.bytes.size()) << c.what;
    }
}

TEST(ByteReader, ReadsBackWhatTheWriterWrote)
{
    ByteWriter out;
    out.U8(200);
    out.U16(0xBEEF);
    out.I16(-300);
    out.U32(0xDEADBEEF);
    out.I32(std::numeric_limits<int32_t>::min());
    out.U64(0xFEDCBA9876543210ull);
    out.F32(-2.5f);
    out.F32(std::numeric_limits<float>::infinity());
    out.Chars("text");
    out.U8(0);
    const std::vector<uint8_t> bytes = out.Take();
    EXPECT_EQ(out.Size(), 0u) << "a taken writer starts again";

    ByteReader in(bytes);
    EXPECT_EQ(in.U8(), 200);
    EXPECT_EQ(in.U16(), 0xBEEF);
    EXPECT_EQ(in.I16(), -300);
    EXPECT_EQ(in.U32(), 0xDEADBEEFu);
    EXPECT_EQ(in.I32(), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(in.U64(), 0xFEDCBA9876543210ull);
    EXPECT_EQ(in.F32(), -2.5f);
    EXPECT_TRUE(std::isinf(in.F32()));
    EXPECT_EQ(in.ZeroEndedText(), "text");
    EXPECT_TRUE(in.Ok());
    EXPECT_TRUE(in.AtEnd());
}

// A read that runs past the end gives zeros, takes nothing, leaves the
// position at the end and fails every later read, even one that would fit.
TEST(ByteReader, ReadingPastTheEndFailsForGood)
{
    const std::array<uint8_t, 3> three{1, 2, 3};
    struct Case {
        const char* what;
        bool (*read)(ByteReader&); // true when the failed read gave its empty value
    };
    const Case cases[] = {
        {"u32", [](ByteReader& r) { return r.U32() == 0; }},
        {"u64", [](ByteReader& r) { return r.U64() == 0; }},
        {"f32", [](ByteReader& r) { return r.F32() == 0.0f; }},
        {"bytes", [](ByteReader& r) { return r.Bytes(4).empty(); }},
        {"chars", [](ByteReader& r) { return r.Chars(5).empty(); }},
        {"skip", [](ByteReader& r) { return !r.Skip(4); }},
        {"seek", [](ByteReader& r) { return !r.Seek(4); }},
        {"align", [](ByteReader& r) { return r.U8() == 1 && !r.Align(4); }},
        {"no zero", [](ByteReader& r) { return r.ZeroEndedText().empty(); }},
        {"u32 at", [](ByteReader& r) { return r.U32At(0) == 0; }},
        {"u16 at end", [](ByteReader& r) { return r.U16At(2) == 0; }},
        {"u8 at huge", [](ByteReader& r) { return r.U8At(std::numeric_limits<size_t>::max()) == 0; }},
        {"copy", [](ByteReader& r) {
             uint8_t out[4] = {9, 9, 9, 9};
             return !r.CopyTo(out, 4) && out[0] == 0 && out[3] == 0;
         }},
    };
    for (const Case& c : cases) {
        ByteReader in(three);
        EXPECT_TRUE(c.read(in)) << c.what;
        EXPECT_FALSE(in.Ok()) << c.what;
        EXPECT_TRUE(in.AtEnd()) << c.what;
        EXPECT_EQ(in.U8At(0), 0) << c.what << ": a failed reader stays failed";
        EXPECT_EQ(in.Seek(0), false) << c.what;
    }
}

TEST(ByteReader, ReadsAtOffsetsLeaveThePositionAlone)
{
    const std::vector<uint8_t> bytes{0x10, 0x20, 0x30, 0x40, 0x00, 0x00, 0x80, 0xBF};
    ByteReader in(bytes);
    EXPECT_EQ(in.U8(), 0x10);
    EXPECT_EQ(in.U32At(0), 0x40302010u);
    EXPECT_EQ(in.U16At(2), 0x4030);
    EXPECT_EQ(in.I16At(6), static_cast<int16_t>(0xBF80));
    EXPECT_EQ(in.F32At(4), -1.0f);
    EXPECT_EQ(in.U8At(7), 0xBF);
    EXPECT_EQ(in.Position(), 1u);
    EXPECT_EQ(in.Remaining(), 7u);
    EXPECT_TRUE(in.Ok());
}

TEST(ByteReader, RunsTextsAndAlignment)
{
    const std::vector<uint8_t> bytes{'a', 'b', 0, 0, 'c', 0, 7, 8};
    ByteReader in(bytes);
    EXPECT_EQ(in.ZeroEndedText(), "ab");
    EXPECT_TRUE(in.Align(4));
    EXPECT_EQ(in.Position(), 4u);
    EXPECT_TRUE(in.Align(4)) << "an aligned position stays";
    EXPECT_TRUE(in.Align(0)) << "no alignment moves nothing";
    EXPECT_EQ(in.Position(), 4u);
    EXPECT_EQ(in.Chars(1), "c");
    EXPECT_EQ(in.ZeroEndedText(), "");
    const auto run = in.Bytes(2);
    ASSERT_EQ(run.size(), 2u);
    EXPECT_EQ(run[1], 8);
    EXPECT_TRUE(in.AtEnd());
    EXPECT_TRUE(in.Bytes(0).empty());
    EXPECT_TRUE(in.Ok()) << "nothing read at the end is no failure";
    EXPECT_TRUE(in.Seek(0));
    EXPECT_EQ(in.U8(), 'a');
}

TEST(ByteReader, NullAndEmptyBlocksReadAsEmpty)
{
    for (ByteReader in : {ByteReader(), ByteReader(nullptr, 16), ByteReader(std::span<const uint8_t>())}) {
        EXPECT_EQ(in.Size(), 0u);
        EXPECT_TRUE(in.AtEnd());
        EXPECT_TRUE(in.Skip(0));
        EXPECT_EQ(in.U8(), 0);
        EXPECT_FALSE(in.Ok());
    }
}

TEST(ByteReader, FailMarksTheReaderFailed)
{
    const std::array<uint8_t, 4> bytes{1, 2, 3, 4};
    ByteReader in(bytes);
    in.Fail();
    EXPECT_FALSE(in.Ok());
    EXPECT_EQ(in.U8(), 0);
}

// A writer over a caller's block never writes past it: the write that does not
// fit writes nothing, and so does every later one.
TEST(ByteWriter, AFixedBlockIsNeverOverrun)
{
    std::array<uint8_t, 6> block{};
    block.fill(0xEE);
    ByteWriter out(std::span<uint8_t>(block).first(5));
    out.U16(0x0102);
    out.U32(0x03040506); // needs 4, has 3
    EXPECT_FALSE(out.Ok());
    out.U8(7);
    EXPECT_EQ(out.Size(), 2u);
    EXPECT_EQ(block, (std::array<uint8_t, 6>{0x02, 0x01, 0xEE, 0xEE, 0xEE, 0xEE}));

    ByteWriter none(nullptr, 8);
    none.U8(1);
    EXPECT_FALSE(none.Ok());
    EXPECT_EQ(none.Size(), 0u);
}

TEST(ByteWriter, AFixedBlockFillsExactlyAndClearStartsOver)
{
    std::array<uint8_t, 4> block{};
    ByteWriter out(block);
    out.U32(0xA1B2C3D4);
    EXPECT_TRUE(out.Ok());
    EXPECT_EQ(block, (std::array<uint8_t, 4>{0xD4, 0xC3, 0xB2, 0xA1}));
    EXPECT_EQ(Written(out), std::vector<uint8_t>(block.begin(), block.end()));
    out.Clear();
    out.U16(0xFFFF);
    EXPECT_TRUE(out.Ok());
    EXPECT_EQ(block, (std::array<uint8_t, 4>{0xFF, 0xFF, 0xB2, 0xA1}));
}
