#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "testing/dialog_hooks.h"
#include "platform/window/registry.h"

using namespace platform;

TEST(Registry, ValuesPersistInTheConfigurationFolder)
{
    platform::testing::ConfigFolder config;
    EXPECT_EQ(RegistryFilePath(), config.Path() + "/zandrel/registry");
    EXPECT_FALSE(RegistryKeyExists("Software\\A"));
    ASSERT_TRUE(RegistrySetValue("Software\\A", "Name", {kRegistryDword, {1, 2, 3, 4}}));
    ASSERT_TRUE(RegistrySetValue("Software\\B [x]=%", "we=ird\n", {3, {}}));
    EXPECT_TRUE(std::filesystem::exists(RegistryFilePath()));
    EXPECT_TRUE(RegistryKeyExists("software\\a"));
    EXPECT_EQ(RegistryQueryValue("SOFTWARE\\A", "name"), (RegistryValue{kRegistryDword, {1, 2, 3, 4}}));
    EXPECT_EQ(RegistryQueryValue("Software\\B [x]=%", "WE=IRD\n"), (RegistryValue{3, {}}));
    EXPECT_FALSE(RegistryQueryValue("Software\\A", "other").has_value());
    ASSERT_TRUE(RegistrySetValue("Software\\A", "NAME", {kRegistryDword, {9, 9, 9, 9}}));
    EXPECT_EQ(RegistryQueryValue("Software\\A", "Name")->bytes, (std::vector<uint8_t>{9, 9, 9, 9}));
}

TEST(Registry, TheFileRoundTripsAndBadLinesAreSkipped)
{
    detail::RegistryKeys keys;
    keys["k"] = {"K", {{"v", {"V", {4, {0xAB, 0x01}}}}}};
    const std::string text = detail::RegistryText(keys);
    EXPECT_EQ(text, "[K]\nV=4:AB01\n");
    auto back = detail::ParseRegistryText(text + "garbage\nV2=x:00\nV3=4:0\n=4:00\nV4=99999999999:00\n[%G1]\nV5=4:00\n");
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back["k"].values.size(), 2u) << "the empty name is kept, the rest skipped";
    EXPECT_EQ(back["k"].values["v"].second.bytes, (std::vector<uint8_t>{0xAB, 0x01}));
}

TEST(Registry, AnUnwritableFolderFailsQuietly)
{
    platform::testing::ConfigFolder config;
    std::ofstream(config.Path() + "/zandrel") << "a file where the folder should be";
    EXPECT_FALSE(RegistrySetValue("Software\\A", "Name", {kRegistryDword, {1, 2, 3, 4}}));
    EXPECT_FALSE(RegistryQueryValue("Software\\A", "Name").has_value());
}
