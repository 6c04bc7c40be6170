#include <gtest/gtest.h>

#include "message_box_support.h"
#include "platform/window/registry.h"
#include "ui/engine_message_box.h"
#include "ui/saved_answers.h"

TEST(SavedAnswers, KeyNamesMapEachByteByItsPlace)
{
    EXPECT_EQ(SavedAnswerValueName("abc", 0), "7dj0");
    EXPECT_EQ(SavedAnswerValueName("abc", 7), "7dj7");
    EXPECT_EQ(SavedAnswerValueName("abc", -1), "7dj-1");
    EXPECT_EQ(SavedAnswerValueName("a", 3), SavedAnswerValueName("!", 3));
    EXPECT_EQ(SavedAnswerValueName("", 12), "12");
    std::string high = "\xff\x80";
    EXPECT_EQ(MessageKeyName(high), "8F") << "bytes above 127 count unsigned";
    const std::string longKey(600, 'q');
    EXPECT_EQ(SavedAnswerValueName(longKey, 1), SavedAnswerValueName(longKey.substr(0, 490), 1));
    EXPECT_NE(SavedAnswerValueName(longKey, 1), SavedAnswerValueName(longKey.substr(0, 489), 1));
}

TEST(SavedAnswers, KeyPathNamesTheProgramAndTheOptionalLevel)
{
    MessageBoxWorld world;
    EXPECT_EQ(SavedAnswerKeyPath(""), "Software\\viewer.exe\\EngineMessageBox");
    EXPECT_EQ(SavedAnswerKeyPath("Tools"), "Software\\Tools\\viewer.exe\\EngineMessageBox");
    EXPECT_EQ(SavedAnswerKeyPath(std::string(600, 'r')), "") << "a path past 519 characters is refused";
    platform::testing::ExecutablePathAs bare("viewer");
    EXPECT_EQ(SavedAnswerKeyPath(""), "Software\\viewer\\EngineMessageBox");
}

TEST(SavedAnswers, ATickedAnswerIsStoredInTheFileAndReturnedWithoutABox)
{
    MessageBoxWorld world;
    EngineMessageBoxParams params;
    params.answerKey = "abc";
    params.answerKeyNumber = 7;
    world.script.Click(kIdCheckBox).Click(kIdNo);
    EXPECT_EQ(EngineMessageBox(nullptr, "x", "y", 4 | kStyleAskAgainBox, &params), 0x01000007u);
    EXPECT_EQ(platform::RegistryFilePath(), world.config.Path() + "/zandrel/registry");
    auto stored = platform::RegistryQueryValue("software\\VIEWER.EXE\\EngineMessageBox", "7dj7");
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->type, platform::kRegistryDword);
    EXPECT_EQ(stored->bytes, (std::vector<uint8_t>{0x07, 0x00, 0x00, 0x01}));

    // Any check-box style and a countdown: answered at once, no sound, no window.
    platform::testing::TakeBeeps();
    params.timeoutSeconds = 5;
    EXPECT_EQ(EngineMessageBox(nullptr, "x", "y", 1 | kStyleShowAgainBox, &params), 0x01000007u);
    EXPECT_TRUE(platform::testing::TakeBeeps().empty());
    EXPECT_FALSE(world.script.Exhausted());

    // Another registry name is another key.
    world.script.Click(1);
    SetParamsText(params.registryName, "Tools");
    params.timeoutSeconds = 0;
    EXPECT_EQ(EngineMessageBox(nullptr, "x", "y", 1 | kStyleAskAgainBox, &params), 1u);
}

TEST(SavedAnswers, CancelAndUntickedAnswersStoreNothing)
{
    MessageBoxWorld world;
    EngineMessageBoxParams params;
    params.answerKey = "k";
    world.script.Click(kIdCheckBox).Click(kIdCancel);
    EXPECT_EQ(EngineMessageBox(nullptr, "x", "y", 1 | kStyleAskAgainBox, &params), 2u);
    world.script.Click(kIdCheckBox).Key(0x1B);
    EXPECT_EQ(EngineMessageBox(nullptr, "x", "y", 1 | kStyleAskAgainBox, &params), 2u);
    world.script.Click(kIdOk);
    EXPECT_EQ(EngineMessageBox(nullptr, "x", "y", 1 | kStyleAskAgainBox, &params), 1u);
    EXPECT_FALSE(platform::RegistryKeyExists(SavedAnswerKeyPath("")));
}

TEST(SavedAnswers, ATickedBoxWithoutAKeyCarriesTheBitButStoresNothing)
{
    MessageBoxWorld world;
    world.script.Click(kIdCheckBox).Click(kIdOk);
    EXPECT_EQ(EngineMessageBox(nullptr, "x", "y", 1 | kStyleAskAgainBox | kStyleShowAgainBox, nullptr),
              0x01000001u) << "the lowest check-box bit decides";
    EXPECT_FALSE(platform::RegistryKeyExists(SavedAnswerKeyPath("")));
}

TEST(SavedAnswers, AValueWithoutACheckBoxBitIsNotAnAnswer)
{
    MessageBoxWorld world;
    WriteSavedAnswer("", SavedAnswerValueName("k", 0), 7);
    EXPECT_EQ(CheckSavedAnswer("", "k", 0), 7u);
    EngineMessageBoxParams params;
    params.answerKey = "k";
    world.script.Click(kIdYes);
    EXPECT_EQ(EngineMessageBox(nullptr, "x", "y", 4 | kStyleAskAgainBox, &params), 6u);
}

TEST(SavedAnswers, WithoutACheckBoxStyleTheRegistryIsNeverAsked)
{
    MessageBoxWorld world;
    WriteSavedAnswer("", SavedAnswerValueName("k", 0), 0x01000007);
    EngineMessageBoxParams params;
    params.answerKey = "k";
    world.script.Click(kIdYes);
    EXPECT_EQ(EngineMessageBox(nullptr, "x", "y", 4, &params), 6u);
}

TEST(SavedAnswers, OddValuesAndMissingKeysReadAsNothing)
{
    MessageBoxWorld world;
    EXPECT_EQ(ReadSavedAnswer("", ""), 0u);
    EXPECT_EQ(ReadSavedAnswer("", "7dj0"), 0u);
    EXPECT_EQ(CheckSavedAnswer("", nullptr, 0), 0u);
    platform::RegistrySetValue(SavedAnswerKeyPath(""), "short", {platform::kRegistryDword, {1, 2}});
    EXPECT_EQ(ReadSavedAnswer("", "short"), 0u);
}
