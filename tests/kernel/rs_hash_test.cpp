#include "kernel/rs_hash.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "kernel/hashed_name.h"

static_assert(RSHashConst("") == 0);
static_assert(RSHashConst("abc") == 822160044u);

TEST(RSHash, KnownIds)
{
    EXPECT_EQ(RSHash(""), 0u);
    EXPECT_EQ(RSHash("a"), 97u);
    EXPECT_EQ(RSHash("abc"), 822160044u);
    // Bytes at or above 0x80 count as negative values.
    EXPECT_EQ(RSHash("\xE9"), 2147483625u);
    EXPECT_EQ(RSHash("\xFF\x80" "abc"), 436617083u);
    // Worked out separately from the definition.
    EXPECT_EQ(RSHash("RENDERTHREAD"), 936021682u);
    EXPECT_EQ(RSHash("IOTHREAD"), 717793174u);
    EXPECT_EQ(RSHash("NETTHREAD"), 1624033615u);
    EXPECT_EQ(RSHash("LoadFromHDD"), 2116759190u);
    EXPECT_EQ(RSHash("UploadTexToVRAM"), 1662108163u);
}

TEST(RSHash, CompileTimeFormAgreesAndTopBitIsClear)
{
    std::string text;
    for (int i = 0; i < 300; ++i) {
        text.push_back(static_cast<char>(i * 37 + 11));
        const uint32_t id = RSHash(text);
        EXPECT_EQ(id, RSHashConst(text));
        EXPECT_EQ(id & 0x80000000u, 0u) << "length " << text.size();
    }
}

namespace {
// A name with guard bytes on both sides, to catch writes past its array.
template <class Name>
struct Guarded {
    unsigned char before[16];
    Name name;
    unsigned char after[16];
};

template <class Name>
void ExpectCutAndHashedAsStored(size_t maxLength)
{
    Guarded<Name> guarded;
    std::memset(guarded.before, 0xAB, sizeof(guarded.before));
    std::memset(guarded.after, 0xAB, sizeof(guarded.after));
    const std::string longText(maxLength + 40, 'x');
    guarded.name.Assign(longText);
    EXPECT_EQ(guarded.name.length, maxLength);
    EXPECT_EQ(guarded.name.chars[maxLength], '\0');
    EXPECT_EQ(guarded.name.View(), longText.substr(0, maxLength));
    EXPECT_EQ(guarded.name.hash, RSHash(longText.substr(0, maxLength)));
    for (unsigned char b : guarded.before)
        EXPECT_EQ(b, 0xAB);
    for (unsigned char b : guarded.after)
        EXPECT_EQ(b, 0xAB);
}
} // namespace

TEST(HashedName, LongTextIsCutAndHashedAsStored)
{
    ExpectCutAndHashedAsStored<HashedName32>(31);
    ExpectCutAndHashedAsStored<HashedName128>(127);
}

TEST(HashedName, AssignKeepsTextLengthAndHash)
{
    HashedName32 tag;
    EXPECT_EQ(tag.length, 0u);
    EXPECT_EQ(tag.hash, 0u);
    tag.Assign("textures/fogcloudS.dds");
    EXPECT_STREQ(tag.c_str(), "textures/fogcloudS.dds");
    EXPECT_EQ(tag.length, 22u);
    EXPECT_EQ(tag.hash, RSHash("textures/fogcloudS.dds"));

    // Exactly full, then shorter again: the old tail must not show.
    tag.Assign(std::string(31, 'q'));
    EXPECT_EQ(tag.length, 31u);
    tag.Assign("vr");
    EXPECT_STREQ(tag.c_str(), "vr");
    EXPECT_EQ(tag.hash, RSHash("vr"));

    // Text stops at its first zero byte.
    tag.Assign(std::string_view("ab\0cd", 5));
    EXPECT_EQ(tag.View(), "ab");
    EXPECT_EQ(tag.hash, RSHash("ab"));
}
