// Terminal bytes to scan codes: characters by the key that types them, escape
// sequences by their key, a lone Escape only once nothing follows it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/input/scan_codes.h"
#include "platform/input/terminal_keys.h"

using namespace platform::input;

namespace {

using Codes = std::vector<uint8_t>;

Codes Decode(const std::string& bytes, bool thenSilence = true)
{
    TerminalKeyDecoder decoder;
    Codes codes;
    decoder.Feed(bytes, codes);
    if (thenSilence)
        decoder.Expire(codes);
    return codes;
}

} // namespace

TEST(InputTerminalKeys, CharactersAreTheKeysThatTypeThem)
{
    EXPECT_EQ(Decode("wW"), (Codes{kKeyW, kKeyW}));
    EXPECT_EQ(Decode("qaz"), (Codes{kKeyQ, kKeyA, kKeyZ}));
    EXPECT_EQ(Decode("1234567890"), (Codes{2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
    EXPECT_EQ(Decode("-=[];,.`' \\/"), (Codes{kKeyMinus, kKeyEquals, kKeyLeftBracket, kKeyRightBracket,
                                             kKeySemicolon, kKeyComma, kKeyPeriod, kKeyGrave, kKeyApostrophe,
                                             kKeySpace, kKeyBackslash, kKeySlash}));
    EXPECT_EQ(Decode("\r\n\t\x7f"), (Codes{kKeyEnter, kKeyEnter, kKeyTab, kKeyBackspace}));
    // Control characters and bytes above ASCII have no key here.
    EXPECT_EQ(Decode(std::string("\x01\x02\0\xc3\xa9", 5)), Codes{});
}

TEST(InputTerminalKeys, SequencesAreTheArrowEditingAndFunctionKeys)
{
    EXPECT_EQ(Decode("\x1b[A\x1b[B\x1b[C\x1b[D"), (Codes{kKeyUp, kKeyDown, kKeyRight, kKeyLeft}));
    EXPECT_EQ(Decode("\x1bOA\x1bOD"), (Codes{kKeyUp, kKeyLeft}));
    EXPECT_EQ(Decode("\x1b[1;5A"), (Codes{kKeyUp})); // with a modifier
    EXPECT_EQ(Decode("\x1b[H\x1b[F\x1b[2~\x1b[3~\x1b[5~\x1b[6~"),
              (Codes{kKeyHome, kKeyEnd, kKeyInsert, kKeyDelete, kKeyPageUp, kKeyPageDown}));
    EXPECT_EQ(Decode("\x1bOP\x1b[15~\x1b[24~"), (Codes{kKeyF1, kKeyF5, kKeyF12}));
    // Unknown sequences are skipped whole.
    EXPECT_EQ(Decode("\x1b[99~w\x1b[200Zs"), (Codes{kKeyW, kKeyS}));
}

TEST(InputTerminalKeys, ALoneEscapeWaitsForWhatFollows)
{
    TerminalKeyDecoder decoder;
    Codes codes;
    decoder.Feed("w\x1b", codes);
    EXPECT_EQ(codes, (Codes{kKeyW}));
    EXPECT_TRUE(decoder.Waiting());
    // The rest of an arrow key arrives.
    decoder.Feed("[", codes);
    decoder.Feed("C", codes);
    EXPECT_EQ(codes, (Codes{kKeyW, kKeyRight}));
    EXPECT_FALSE(decoder.Waiting());

    codes.clear();
    decoder.Feed("\x1b", codes);
    decoder.Expire(codes);
    EXPECT_EQ(codes, (Codes{kKeyEscape}));
    EXPECT_FALSE(decoder.Waiting());
    // Nothing waiting: silence adds nothing.
    decoder.Expire(codes);
    EXPECT_EQ(codes, (Codes{kKeyEscape}));
}

TEST(InputTerminalKeys, EscapeBeforeEscapeOrAKeyAndCutSequences)
{
    EXPECT_EQ(Decode("\x1b\x1b"), (Codes{kKeyEscape, kKeyEscape}));
    EXPECT_EQ(Decode("\x1b\x1b[A"), (Codes{kKeyEscape, kKeyUp}));
    // Alt with a key: the key.
    EXPECT_EQ(Decode("\x1bw"), (Codes{kKeyW}));
    // A sequence cut short by silence is dropped, not taken for Escape.
    EXPECT_EQ(Decode("\x1b["), Codes{});
    EXPECT_EQ(Decode("\x1b[1;"), Codes{});
    // A sequence broken by a control byte: what follows still counts.
    EXPECT_EQ(Decode("\x1b[1\x1b"), (Codes{kKeyEscape}));
    EXPECT_EQ(Decode("\x1b[1\rw"), (Codes{kKeyEnter, kKeyW}));
}

TEST(InputTerminalKeys, AnEndlessSequenceIsDroppedWithoutGrowing)
{
    TerminalKeyDecoder decoder;
    Codes codes;
    std::string endless = "\x1b[";
    endless += std::string(10000, '1');
    decoder.Feed(endless, codes);
    EXPECT_TRUE(codes.empty());
    // Its final byte ends it; the key after it counts.
    decoder.Feed("~w", codes);
    EXPECT_EQ(codes, (Codes{kKeyW}));
    EXPECT_FALSE(decoder.Waiting());
    // Huge numbers do not overflow.
    EXPECT_EQ(Decode("\x1b[99999999999999~s"), (Codes{kKeyS}));
}
