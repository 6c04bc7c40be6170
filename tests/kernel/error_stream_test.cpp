#include "kernel/error_stream.h"

#include <gtest/gtest.h>

#include "platform/testing/message_box_script.h"

TEST(ErrorStream, OneLineShowsOneBoxAndEmpties)
{
    platform::testing::ScriptedMessageBoxes boxes;
    errorTwoLines = false;
    GetErrorStream() << "Can't load DLL: " << "x.dll" << "\n";
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].caption, "Zandrel Engine - error");
    EXPECT_EQ(boxes.Shown()[0].text, ErrorBoxText("Can't load DLL: x.dll\n"));
    EXPECT_EQ(GetErrorStream().Pending(), "");
}
