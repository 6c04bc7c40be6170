#include "kernel/settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "kernel/error_stream.h"
#include "testing/message_box_script.h"
#include "testing/test_files.h"

namespace fs = std::filesystem;

namespace {

// A fresh folder that is the current directory for the test's life.
struct TempCwd : zandrel_test::TempCwd {
    TempCwd() : zandrel_test::TempCwd("zandrel-settings") {}
};

using zandrel_test::CoutCapture;

Settings Parse(const std::string& text, int* result = nullptr)
{
    Settings settings;
    int r = settings.LoadText(text);
    if (result)
        *result = r;
    return settings;
}

} // namespace

TEST(Settings, SectionAndKeyIgnoreLetterCase)
{
    Settings s = Parse("[graphics]\nWIDTH=1280\n");
    EXPECT_EQ(s.GetInt("Graphics", "width"), 1280);
    EXPECT_EQ(s.GetInt("GRAPHICS", "Width"), 1280);
}

TEST(Settings, KeysBeforeTheFirstSectionBelongToTheEmptySection)
{
    Settings s = Parse("top = 7\n[a]\nx=1\n");
    EXPECT_EQ(s.GetInt("", "top"), 7);
    EXPECT_EQ(s.GetInt("a", "top"), 0);
}

TEST(Settings, IntegersReadAsStrtolWithBaseZeroClampedTo32Bits)
{
    Settings s = Parse("[g]\nhex=0x320\ntrail=800px\nletters=abc\noct=010\nneg=  -42\n"
                       "big=99999999999\nsmall=-99999999999\nempty=\n");
    EXPECT_EQ(s.GetInt("g", "hex"), 800);
    EXPECT_EQ(s.GetInt("g", "trail"), 800);
    EXPECT_EQ(s.GetInt("g", "letters"), 0);
    EXPECT_EQ(s.GetInt("g", "oct"), 8);
    EXPECT_EQ(s.GetInt("g", "neg"), -42);
    EXPECT_EQ(s.GetInt("g", "big"), INT_MAX);
    EXPECT_EQ(s.GetInt("g", "small"), INT_MIN);
    EXPECT_EQ(s.GetInt("g", "empty"), 0);
    EXPECT_EQ(s.GetInt("g", "absent"), 0);
}

TEST(Settings, BooleansAreNumbers)
{
    Settings s = Parse("[Graphics]\nfullscreen=true\nvsync=1\nneg=-1\nhex=0x10\nyes=yes\nzero=0\n");
    EXPECT_FALSE(s.GetBool("Graphics", "fullscreen"));
    EXPECT_TRUE(s.GetBool("Graphics", "vsync"));
    EXPECT_TRUE(s.GetBool("Graphics", "neg"));
    EXPECT_TRUE(s.GetBool("Graphics", "hex"));
    EXPECT_FALSE(s.GetBool("Graphics", "yes"));
    EXPECT_FALSE(s.GetBool("Graphics", "zero"));
    EXPECT_FALSE(s.GetBool("Graphics", "absent"));
}

TEST(Settings, FloatsReadAsScanf)
{
    Settings s = Parse("[Graphics]\nstereoConvergence=2.5e1\nlead=  -1.5x\nword=abc\n");
    EXPECT_FLOAT_EQ(s.GetFloat("Graphics", "stereoConvergence"), 25.0f);
    EXPECT_FLOAT_EQ(s.GetFloat("Graphics", "lead"), -1.5f);
    EXPECT_EQ(s.GetFloat("Graphics", "word"), 0.0f);
    EXPECT_EQ(s.GetFloat("Graphics", "absent"), 0.0f);
}

TEST(Settings, CommentsInsideValuesNeedALeadingBlank)
{
    Settings s = Parse("[net]\nport=5555 ; the reply port\nother=5555;x\n; port=1\n# port=2\n");
    EXPECT_EQ(s.GetString("net", "port"), "5555");
    EXPECT_EQ(s.GetString("net", "other"), "5555;x");
    EXPECT_EQ(s.GetString("net", "absent"), "");
}

TEST(Settings, RepeatedKeyKeepsItsLastValue)
{
    Settings s = Parse("[net]\nport=1\nport=2\n[NET]\nPORT=3\n");
    EXPECT_EQ(s.GetString("net", "port"), "3");
}

TEST(Settings, EqualsIsTheOnlySeparator)
{
    int result = 0;
    Settings s = Parse("[a]\nok=1\ncolon:2\nmixed:key=3\nurl=tcp://host:5\n", &result);
    EXPECT_EQ(result, 3); // the first malformed line
    EXPECT_EQ(s.GetString("a", "colon"), "");
    EXPECT_EQ(s.GetString("a", "mixed"), "");
    EXPECT_EQ(s.GetString("a", "mixed:key"), "3");
    EXPECT_EQ(s.GetString("a", "url"), "tcp://host:5");
    EXPECT_EQ(s.GetInt("a", "ok"), 1);
}

TEST(Settings, MalformedLinesAreSkippedAndTheRestLoads)
{
    int result = 0;
    Settings s = Parse("[a]\nx=1\njunk line\n[broken\ny=2\n", &result);
    EXPECT_EQ(result, 3);
    EXPECT_EQ(s.GetInt("a", "x"), 1);
    EXPECT_EQ(s.GetInt("a", "y"), 2);
}

TEST(Settings, ContinuationLineReplacesTheValue)
{
    Settings s = Parse("[a]\nkey=first\n  second part\nother=1\n");
    EXPECT_EQ(s.GetString("a", "key"), "second part");
    EXPECT_EQ(s.GetInt("a", "other"), 1);
}

TEST(Settings, ContinuationFollowsTheLastWellFormedKey)
{
    // The refused "b:2" is no key, so the blank-led line continues "a".
    Settings s = Parse("[s]\na=1\nb:2\n  3\n");
    EXPECT_EQ(s.GetString("s", "a"), "3");
    EXPECT_EQ(s.GetString("s", "b"), "");
}

TEST(Settings, BlankLedLineAfterASectionIsAKeyLine)
{
    Settings s = Parse("[s]\nb:2\n  c=4\n");
    EXPECT_EQ(s.GetInt("s", "c"), 4);

    // Nor does a refused line make a blank-led section line a continuation:
    // the keys after it are the new section's.
    Settings t = Parse("[s]\nx:y\n  [t]\nk=1\n");
    EXPECT_EQ(t.GetInt("t", "k"), 1);
    EXPECT_EQ(t.GetString("s", "k"), "");
}

TEST(Settings, LongLinesAreReadIn199CharacterPieces)
{
    const std::string value(197, 'v');
    int result = 0;
    Settings s = Parse("[a]\nkey=" + value.substr(0, 195) + "tail=5\nafter=6\n", &result);
    // "key=" plus 195 characters fill 199; "tail=5" starts a new line.
    EXPECT_EQ(s.GetString("a", "key"), value.substr(0, 195));
    EXPECT_EQ(s.GetInt("a", "tail"), 5);
    EXPECT_EQ(s.GetInt("a", "after"), 6);
    EXPECT_EQ(result, 0);

    Settings cut = Parse("[a]\nkey=" + std::string(300, 'x') + "\nafter=6\n", &result);
    EXPECT_EQ(cut.GetString("a", "key"), std::string(195, 'x'));
    EXPECT_EQ(result, 3); // the rest has no "="
    EXPECT_EQ(cut.GetInt("a", "after"), 6);
}

// Each 199-character piece of a line is a line of its own, however many a
// line has: a key, a continuation, a section, and the rest at the line's end.
TEST(Settings, EveryPieceOfAVeryLongLineIsALineOfItsOwn)
{
    const std::string line = "a=" + std::string(197, 'x') + "b:c=" + std::string(195, 'y') + "   " +
                             std::string(196, 'z') + "[t]" + std::string(196, ' ') + "tail=end\n";
    int result = -1;
    Settings s = Parse("[s]\n" + line + "after=1\n", &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(s.GetString("s", "a"), std::string(197, 'x'));
    EXPECT_EQ(s.GetString("s", "b:c"), std::string(196, 'z'));
    EXPECT_EQ(s.GetString("t", "tail"), "end");
    EXPECT_EQ(s.GetInt("t", "after"), 1);
}

TEST(Settings, ByteOrderMarkAndCarriageReturnsAreAccepted)
{
    Settings s = Parse("\xEF\xBB\xBF[Graphics]\r\nwidth=640\r\n");
    EXPECT_EQ(s.GetInt("Graphics", "width"), 640);
}

TEST(Settings, KeysOfASectionAreListedInLowerCase)
{
    Settings s = Parse("[FileSystem]\nArchives=2\narchive0=a.zip\n[filesystem2]\nx=1\n[other]\narchive1=b\n");
    std::vector<std::string> keys = s.KeysOf("FILESYSTEM");
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(keys, (std::vector<std::string>{"archive0", "archives"}));
    EXPECT_TRUE(s.KeysOf("absent").empty());
}

TEST(Settings, LoadFileReadsARealFile)
{
    TempCwd dir;
    dir.Write("x.ini", "[log]\nlogMode=2\n");
    Settings s;
    EXPECT_EQ(s.LoadFile(dir.Path("x.ini").string()), 0);
    EXPECT_EQ(s.GetInt("log", "logMode"), 2);
    EXPECT_EQ(Settings().LoadFile(dir.Path("none.ini").string()), Settings::kNotOpened);
}

TEST(Settings, GetSettingsReadsSettingsIniOnce)
{
    TempCwd dir;
    dir.Write("settings.ini", "[Graphics]\nwidth=1280\n");
    platform::testing::ScriptedMessageBoxes boxes;
    CoutCapture out;
    EXPECT_EQ(GetSettings().GetInt("Graphics", "width"), 1280);
    dir.Write("settings.ini", "[Graphics]\nwidth=1\n");
    EXPECT_EQ(GetSettings().GetInt("Graphics", "width"), 1280);
    EXPECT_EQ(out.Text(), "Settings.ini loaded\n");
    EXPECT_TRUE(boxes.Shown().empty());

    ReleaseSettings();
    EXPECT_EQ(GetSettings().GetInt("Graphics", "width"), 1);
    ReleaseSettings();
}

// Whatever stands in the place of the file, it is not one: no throw, no wait.
TEST(Settings, WhatIsNoRegularFileIsNotOpened)
{
    TempCwd dir;
    fs::create_directory(dir.Path("folder.ini"));
    fs::create_symlink(dir.Path("folder.ini"), dir.Path("linked.ini"));
    ASSERT_EQ(mkfifo(dir.Path("pipe.ini").c_str(), 0600), 0);
    for (const char* name : {"folder.ini", "linked.ini", "pipe.ini"}) {
        Settings s;
        EXPECT_EQ(s.LoadFile(dir.Path(name).string()), Settings::kNotOpened) << name;
        EXPECT_EQ(s.GetInt("log", "logMode"), 0) << name;
    }
}

TEST(Settings, ASettingsFolderShowsTheMissingFileBox)
{
    TempCwd dir;
    fs::create_directory(dir.Path("settings.ini"));
    platform::testing::ScriptedMessageBoxes boxes;
    CoutCapture out;
    EXPECT_EQ(GetSettings().GetInt("Graphics", "width"), 0);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, ErrorBoxText("Settings.ini not found.\n"));
    EXPECT_EQ(out.Text(), "");
    ReleaseSettings();
}

TEST(Settings, MissingFileShowsOneBoxThenEveryKeyIsAbsent)
{
    TempCwd dir;
    platform::testing::ScriptedMessageBoxes boxes;
    CoutCapture out;
    Settings& s = GetSettings();
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, ErrorBoxText("Settings.ini not found.\n"));
    EXPECT_EQ(out.Text(), "");
    EXPECT_EQ(s.GetInt("log", "logMode"), 0);
    EXPECT_FALSE(s.GetBool("net", "async"));
    EXPECT_EQ(s.GetFloat("Graphics", "stereoConvergence"), 0.0f);
    EXPECT_EQ(s.GetString("net", "port"), "");
    GetSettings();
    EXPECT_EQ(boxes.Shown().size(), 1u);
    ReleaseSettings();
}

TEST(Settings, ShippedSettingsHaveEverySection)
{
    Settings s;
    ASSERT_EQ(s.LoadFile(std::string(ZANDREL_SOURCE_DIR) + "/data/settings.ini"), 0);
    EXPECT_EQ(s.GetInt("Graphics", "width"), 1280);
    EXPECT_EQ(s.GetInt("Graphics", "height"), 720);
    EXPECT_EQ(s.GetInt("log", "logMode"), 0);
    EXPECT_FALSE(s.GetBool("net", "async"));
    EXPECT_FALSE(s.GetString("Controls", "cameraFWD").empty());
    EXPECT_GT(s.GetInt("mem", "pool16"), 0);
    EXPECT_EQ(s.GetInt("FileSystem", "archives"), 0);
}
