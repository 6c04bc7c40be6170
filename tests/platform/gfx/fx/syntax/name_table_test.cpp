#include "platform/gfx/fx/syntax/name_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(NameTable, EachNameKeepsTheNumberItWasFirstGiven)
{
    std::vector<std::string> names{"", std::string(300, 'x')};
    for (int i = 0; i < 5000; ++i)
        names.push_back("n" + std::to_string(i));
    gfx::NameTable table;
    table.Reserve(100);
    for (size_t i = 0; i < names.size(); ++i)
        EXPECT_TRUE(table.Add(names[i], static_cast<uint32_t>(i))) << names[i];
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_FALSE(table.Add(names[i], 7)) << names[i];
        EXPECT_EQ(table.Find(names[i]), i) << names[i];
    }
    EXPECT_EQ(table.Size(), names.size());
    table.Reserve(100000); // made room, every name stays
    EXPECT_EQ(table.Find(names.back()), names.size() - 1);
    EXPECT_EQ(table.Find("n5000"), gfx::NameTable::kNone);
    EXPECT_FALSE(gfx::NameTable().Contains("n0"));
}
