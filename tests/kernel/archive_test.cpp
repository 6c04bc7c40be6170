// The binary archives byte for byte: every operation written by StreamArchive
// to a real file and read back by MemoryArchive; reads that would pass the end
// of the bytes; whole objects saved and loaded through the file system.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "kernel/archive.h"
#include "kernel/engine_threads.h"
#include "kernel/file_system.h"
#include "kernel/memory_pools.h"
#include "kernel/settings.h"
#include "kernel/math/float3.h"
#include "kernel/math/float4.h"
#include "kernel/math/float4x4.h"
#include "kernel/memory_archive.h"
#include "kernel/serializable_object.h"
#include "kernel/stream_archive.h"
#include "testing/message_box_script.h"
#include "testing/test_files.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

fs::path TempFolder()
{
    static const fs::path folder = zandrel_test::FreshProgramFolder("zandrel_archive_");
    return folder;
}

using zandrel_test::ReadBytes;

// Writes with a StreamArchive into a temp file and returns the file's bytes.
template <class Write>
Bytes Written(Write write)
{
    static int serial = 0;
    const fs::path path = TempFolder() / ("w" + std::to_string(serial++) + ".bin");
    {
        StreamArchive archive;
        EXPECT_TRUE(archive.OpenArchiveFile(path.string()));
        write(archive);
    }
    return ReadBytes(path);
}

// The message of a box, without the advice the box adds after it.
std::string Message(const platform::testing::ShownBox& box)
{
    return box.text.substr(0, box.text.find('\n') + 1);
}

using CaptureOutput = zandrel_test::CoutCapture;

TEST(Archive, ModesAndTheBaseDoesNothing)
{
    Archive base;
    EXPECT_EQ(base.mode, 0u);
    uint32_t value = 7;
    base.U32(value);
    EXPECT_EQ(value, 7u);
    StreamArchive writing;
    MemoryArchive reading;
    EXPECT_EQ(writing.mode, 1u);
    EXPECT_EQ(reading.mode, 2u);
    EXPECT_EQ(reading.position, 0u);
    EXPECT_EQ(reading.buffer.data, nullptr);
}

TEST(Archive, EachOperationWritesItsExactBytes)
{
    HashedName128 empty;
    HashedName128 abc;
    abc.Assign("abc");
    EXPECT_EQ(Written([&](Archive& a) { a.Name(empty); }), (Bytes{0x00}));
    EXPECT_EQ(Written([&](Archive& a) { a.Name(abc); }), (Bytes{0x03, 'a', 'b', 'c'}));

    std::string none;
    std::string text = "abc";
    EXPECT_EQ(Written([&](Archive& a) { a.String(none); }), (Bytes{0x00}));
    EXPECT_EQ(Written([&](Archive& a) { a.String(text); }), (Bytes{'a', 'b', 'c', 0x00}));

    bool yes = true;
    bool no = false;
    EXPECT_EQ(Written([&](Archive& a) { a.Bool(yes); a.Bool(no); }), (Bytes{0x01, 0x00}));

    uint8_t u8 = 0xAB;
    uint16_t u16 = 0x1234;
    uint32_t u32 = 0xDEADBEEF;
    float one = 1.0f;
    EXPECT_EQ(Written([&](Archive& a) { a.U8(u8); a.U16(u16); a.U32(u32); a.Float(one); }),
              (Bytes{0xAB, 0x34, 0x12, 0xEF, 0xBE, 0xAD, 0xDE, 0x00, 0x00, 0x80, 0x3F}));

    float3 v3{1.0f, 2.0f, 3.0f};
    float4 v4{1.0f, 2.0f, 3.0f, 4.0f};
    float4x4 m = IdentityMatrix();
    EXPECT_EQ(Written([&](Archive& a) { a.Float3(v3); }).size(), 12u);
    EXPECT_EQ(Written([&](Archive& a) { a.Float4(v4); }).size(), 16u);
    const Bytes matrix = Written([&](Archive& a) { a.Matrix(m); });
    ASSERT_EQ(matrix.size(), 64u);
    // Element (1,1) is the sixth float, in the matrix's memory order.
    EXPECT_EQ(Bytes(matrix.begin() + 20, matrix.begin() + 24), (Bytes{0x00, 0x00, 0x80, 0x3F}));

    const char raw[5] = {1, 2, 3, 4, 5};
    EXPECT_EQ(Written([&](Archive& a) { a.Bytes(const_cast<char*>(raw), 3); }), (Bytes{1, 2, 3}));
}

TEST(Archive, EveryOperationRoundTrips)
{
    HashedName128 name;
    name.Assign("textures/stone.dds");
    std::string text = "a line of text";
    float4x4 m;
    for (int i = 0; i < 16; ++i)
        m.m[i] = 0.5f * static_cast<float>(i) - 3.0f;
    float4 v4{-1.5f, 2.25f, 1e-20f, 3e30f};
    float3 v3{0.1f, -0.2f, 0.3f};
    bool flag = true;
    uint8_t u8 = 200;
    uint16_t u16 = 65535;
    float f = -0.0f;
    uint32_t u32 = 0x80000001u;
    char raw[6] = {'r', 'a', 'w', 0, 'x', 'y'};

    const Bytes bytes = Written([&](Archive& a) {
        a.Name(name);
        a.String(text);
        a.Matrix(m);
        a.Float4(v4);
        a.Float3(v3);
        a.Bool(flag);
        a.U8(u8);
        a.U16(u16);
        a.Float(f);
        a.U32(u32);
        a.Bytes(raw, 6);
    });
    EXPECT_EQ(bytes.size(), 1 + 18 + 15 + 64 + 16 + 12 + 1 + 1 + 2 + 4 + 4 + 6u);

    MemoryArchive in;
    in.ReadFrom(bytes.data(), static_cast<uint32_t>(bytes.size()));
    HashedName128 name2;
    std::string text2;
    float4x4 m2;
    float4 v42;
    float3 v32;
    bool flag2 = false;
    uint8_t u82 = 0;
    uint16_t u162 = 0;
    float f2 = 1.0f;
    uint32_t u322 = 0;
    char raw2[6] = {};
    in.Name(name2);
    in.String(text2);
    in.Matrix(m2);
    in.Float4(v42);
    in.Float3(v32);
    in.Bool(flag2);
    in.U8(u82);
    in.U16(u162);
    in.Float(f2);
    in.U32(u322);
    in.Bytes(raw2, 6);

    EXPECT_EQ(name2.View(), "textures/stone.dds");
    EXPECT_EQ(name2.hash, name.hash);
    EXPECT_EQ(text2, text);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(m2.m[i], m.m[i]);
    EXPECT_EQ(v42.x, v4.x);
    EXPECT_EQ(v42.y, v4.y);
    EXPECT_EQ(v42.z, v4.z);
    EXPECT_EQ(v42.w, v4.w);
    EXPECT_EQ(v32.x, v3.x);
    EXPECT_EQ(v32.y, v3.y);
    EXPECT_EQ(v32.z, v3.z);
    EXPECT_TRUE(flag2);
    EXPECT_EQ(u82, u8);
    EXPECT_EQ(u162, u16);
    EXPECT_TRUE(std::signbit(f2));
    EXPECT_EQ(u322, u32);
    EXPECT_EQ(std::string(raw2, 6), std::string(raw, 6));
    EXPECT_EQ(in.position, bytes.size());
    EXPECT_FALSE(in.Damaged());
}

TEST(Archive, ReadingIsLenient)
{
    const Bytes bytes = {0x02, 0xFF, 0x00};
    MemoryArchive in;
    in.ReadFrom(bytes.data(), 3);
    bool a = false;
    bool b = false;
    bool c = true;
    in.Bool(a);
    in.Bool(b);
    in.Bool(c);
    EXPECT_TRUE(a);
    EXPECT_TRUE(b);
    EXPECT_FALSE(c);
    EXPECT_FALSE(in.Damaged());
}

TEST(Archive, ReadsNeverPassTheEnd)
{
    // Each case: the bytes, then what reading them gives.
    {
        const Bytes bytes = {0x34, 0x12, 0x99};
        MemoryArchive in;
        in.ReadFrom(bytes.data(), 3);
        uint16_t u16 = 0;
        uint32_t u32 = 7;
        in.U16(u16);
        in.U32(u32); // one byte left: refused whole
        EXPECT_EQ(u16, 0x1234);
        EXPECT_EQ(u32, 0u);
        EXPECT_TRUE(in.Damaged());
        EXPECT_EQ(in.position, 3u);
        uint8_t after = 5;
        in.U8(after);
        EXPECT_EQ(after, 0);
    }
    {
        const Bytes bytes = {'a', 'b', 'c'}; // no terminator
        MemoryArchive in;
        in.ReadFrom(bytes.data(), 3);
        std::string text = "old";
        in.String(text);
        EXPECT_EQ(text, "");
        EXPECT_TRUE(in.Damaged());
    }
    {
        const Bytes bytes = {0x10, 'a', 'b'}; // a name of 16 with 2 characters
        MemoryArchive in;
        in.ReadFrom(bytes.data(), 3);
        HashedName128 name;
        name.Assign("kept?");
        in.Name(name);
        EXPECT_EQ(name.length, 0u);
        EXPECT_EQ(name.hash, 0u);
        EXPECT_TRUE(in.Damaged());
    }
    {
        MemoryArchive in; // nothing at all
        float4x4 m = IdentityMatrix();
        in.Matrix(m);
        EXPECT_EQ(m.m[0], 0.0f);
        char raw[4] = {1, 1, 1, 1};
        in.Bytes(raw, 4);
        EXPECT_EQ(raw[3], 0);
        EXPECT_TRUE(in.Damaged());
    }
}

TEST(Archive, LongNamesAreCutToWhatANameHolds)
{
    Bytes bytes = {200};
    for (int i = 0; i < 200; ++i)
        bytes.push_back(static_cast<uint8_t>('a' + i % 26));
    bytes.push_back(0x07);
    MemoryArchive in;
    in.ReadFrom(bytes.data(), static_cast<uint32_t>(bytes.size()));
    HashedName128 name;
    uint8_t next = 0;
    in.Name(name);
    in.U8(next);
    EXPECT_EQ(name.length, 127u);
    EXPECT_EQ(name.hash, RSHash(std::string_view(name.chars, 127)));
    EXPECT_EQ(next, 7); // the whole name was consumed
    EXPECT_FALSE(in.Damaged());
}

TEST(Archive, IntToStringPrintsLikePercentD)
{
    EXPECT_EQ(IntToString(0), "0");
    EXPECT_EQ(IntToString(1234), "1234");
    EXPECT_EQ(IntToString(-7), "-7");
    EXPECT_EQ(IntToString(INT32_MIN), "-2147483648");
}

// A plain storable object: no resource, fields of its own.
struct Waypoint : SerializableObject {
    void Serialize(Archive& archive) override
    {
        archive.Float3(position);
        archive.String(label);
        archive.U32(order);
    }
    float3 position;
    std::string label;
    uint32_t order = 0;
};

class ObjectFiles : public testing::Test {
protected:
    // The suite leaves no file system, pools or settings behind for the suites
    // after it, which build their own from their own folders.
    static void TearDownTestSuite()
    {
        DestroyIOThread();
        DestroyFileSystem();
        DestroyPools();
        ReleaseSettings();
    }

    void SetUp() override
    {
        GetFileSystem()->Mount(TempFolder().string(), "");
        boxes.Clear(); // a first use may have found no settings.ini here
    }
    platform::testing::ScriptedMessageBoxes boxes;
};

TEST_F(ObjectFiles, APlainObjectSavesWithTheVersionItHolds)
{
    Waypoint saved;
    saved.position = {1.0f, 2.0f, 3.0f};
    saved.label = "gate";
    saved.order = 9;
    saved.SaveToFile((TempFolder() / "waypoint0.res").string());
    const Bytes bytes = ReadBytes(TempFolder() / "waypoint0.res");
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], 0x00);
    EXPECT_EQ(bytes[1], 0x00);
    EXPECT_EQ(bytes.size(), 2 + 12 + 5 + 4u);

    Waypoint loaded;
    EXPECT_TRUE(loaded.LoadFromFile("waypoint0.res"));
    EXPECT_EQ(loaded.position.y, 2.0f);
    EXPECT_EQ(loaded.label, "gate");
    EXPECT_EQ(loaded.order, 9u);

    // A version read from a file is written again; a plain object's id is 0.
    saved.formatVersion = 3;
    saved.SaveToFile((TempFolder() / "waypoint3.res").string());
    const Bytes versioned = ReadBytes(TempFolder() / "waypoint3.res");
    ASSERT_GE(versioned.size(), 4u);
    EXPECT_EQ(Bytes(versioned.begin(), versioned.begin() + 4), (Bytes{0x03, 0x00, '0', 0x00}));
    Waypoint again;
    EXPECT_TRUE(again.LoadFromFile("waypoint3.res"));
    EXPECT_EQ(again.formatVersion, 3);
    EXPECT_EQ(again.label, "gate");
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(ObjectFiles, AMissingFileIsReportedAndReadsNothing)
{
    Waypoint object;
    object.label = "untouched";
    EXPECT_FALSE(object.LoadFromFile("no_such_waypoint.res"));
    EXPECT_EQ(object.label, "untouched");
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(Message(boxes.Shown()[0]), "Can't load file: no_such_waypoint.res\n");
}

TEST_F(ObjectFiles, ATruncatedFileIsReportedAsDamaged)
{
    std::ofstream(TempFolder() / "short.res", std::ios::binary).write("\0\0\0\0\x80", 5);
    Waypoint object;
    EXPECT_FALSE(object.LoadFromFile("short.res"));
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(Message(boxes.Shown()[0]), "Resource file short.res is truncated or damaged.\n");
}

TEST_F(ObjectFiles, AFileThatCannotBeOpenedThrowsTwenty)
{
    CaptureOutput output;
    Waypoint object;
    const std::string name = (TempFolder() / "no_folder" / "x.res").string();
    int thrown = 0;
    try {
        object.SaveToFile(name);
    } catch (int code) {
        thrown = code;
    }
    EXPECT_EQ(thrown, 20);
    EXPECT_EQ(output.Text(), "Can't open file " + name + " to read.");
}

} // namespace
