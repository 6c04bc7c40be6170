#include "platform/gfx/fx/parser/struct_layouts.h"

#include <gtest/gtest.h>

namespace {

using gfx::EffectMember;
using gfx::EffectParameterType;
using gfx::EffectStructType;

EffectMember Numbers(const char* name, uint8_t rows, uint8_t columns, uint32_t arraySize = 0)
{
    return {name, EffectParameterType::Float, rows, columns, arraySize, ""};
}

EffectMember Holding(const char* name, const char* structName, uint32_t arraySize = 0)
{
    return {name, EffectParameterType::Struct, 0, 0, arraySize, structName};
}

TEST(StructLayouts, MembersLieOneAfterAnotherAndStructsWithinThem)
{
    const std::vector<EffectStructType> types = {
        {"Falloff", {Numbers("range", 1, 1), Numbers("centre", 1, 2)}},
        {"Light", {Numbers("colour", 1, 3), Holding("falloff", "Falloff", 2), Numbers("frame", 4, 3)}},
    };
    gfx::StructLayouts layouts;
    ASSERT_EQ(layouts.Build(types), "");
    const uint32_t light = layouts.Find("Light");
    EXPECT_EQ(layouts.Floats(light), 3u + 2 * 3 + 12);
    const uint32_t frame = layouts.Member(light, "frame");
    EXPECT_EQ(layouts.MemberFirst(light, frame), 9u);
    EXPECT_EQ(layouts.MemberType(light, layouts.Member(light, "falloff")), layouts.Find("Falloff"));
    EXPECT_EQ(layouts.Member(light, "range"), gfx::StructLayouts::kNone);
    std::vector<std::pair<uint64_t, std::string>> leaves;
    layouts.ForEachLeaf(light, 100, 2, [&](uint64_t first, const EffectMember& m) { leaves.emplace_back(first, m.name); });
    EXPECT_EQ(leaves, (std::vector<std::pair<uint64_t, std::string>>{
                          {100, "colour"}, {103, "range"}, {104, "centre"}, {106, "range"}, {107, "centre"},
                          {109, "frame"}, {121, "colour"}, {124, "range"}, {125, "centre"}, {127, "range"},
                          {128, "centre"}, {130, "frame"}}));
}

TEST(StructLayouts, UnsoundTypesAreRefusedWithTheReason)
{
    std::vector<EffectStructType> deep;
    deep.push_back({"S0", {Numbers("a", 1, 1)}});
    for (uint32_t k = 1; k <= gfx::kMaxStructNesting; ++k)
        deep.push_back({"S" + std::to_string(k), {Holding("in", ("S" + std::to_string(k - 1)).c_str())}});
    const std::pair<std::vector<EffectStructType>, std::string> cases[] = {
        {{{"", {Numbers("a", 1, 1)}}}, "a struct has no name"},
        {{{"S", {Numbers("a", 1, 1)}}, {"S", {Numbers("a", 1, 1)}}}, "struct 'S' is laid out twice"},
        {{{"S", {Numbers("a", 1, 1), Numbers("a", 1, 2)}}}, "struct 'S' has two members named 'a'"},
        {{{"S", {Numbers("", 1, 1)}}}, "struct 'S' has a member without a name"},
        {{{"S", {Numbers("a", 0, 1)}}}, "struct 'S' has the member 'a' of an invalid size"},
        {{{"S", {Numbers("a", 5, 1)}}}, "struct 'S' has the member 'a' of an invalid size"},
        {{{"S", {Holding("t", "T")}}, {"T", {Numbers("a", 1, 1)}}},
         "struct 'S' has the member 't' of a struct not laid out before it"},
        {{{"S", {Holding("s", "S")}}}, "struct 'S' has the member 's' of a struct not laid out before it"},
        {{{"S", {{"t", EffectParameterType::Texture, 0, 0, 0, ""}}}}, "struct 'S' has the member 't', which holds no numbers"},
        {{{"S", {Numbers("a", 1, 1, gfx::kMaxEffectArraySize + 1)}}}, "struct 'S' has the member 'a' of too many elements"},
        {{{"S", {Numbers("a", 4, 4, gfx::kMaxEffectArraySize), Numbers("b", 1, 1)}}}, "struct 'S' holds too many values"},
        {{{"S", {}}}, "struct 'S' holds no values"},
        {deep, "struct 'S32' holds structs more than 32 deep"},
    };
    for (const auto& [types, problem] : cases) {
        gfx::StructLayouts layouts;
        EXPECT_EQ(layouts.Build(types), problem);
    }
}

} // namespace
