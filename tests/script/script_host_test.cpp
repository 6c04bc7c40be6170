#include "script/script_host.h"

#include "kernel/error_stream.h"
#include "testing/message_box_script.h"
#include "script/script_memory.h"
#include "script_test_support.h"

using namespace AngelScript;

namespace {
int calls = 0;
void CountCall() { ++calls; }
} // namespace

TEST(ScriptHost, RegistrationsBeforeTheEngineWaitAndFollowTheBuiltIns)
{
    ScriptHost* host = GetScriptHost();
    ASSERT_EQ(host->engine, nullptr);
    host->RegisterScriptFunction("void earlyOne()", asFUNCTION(CountCall));
    host->RegisterScriptFunction("void earlyTwo()", asFUNCTION(CountCall));
    ASSERT_EQ(host->pending.size(), 2u);
    ASSERT_TRUE(host->InitScriptEngine());
    asIScriptFunction* one = host->engine->GetGlobalFunctionByDecl("void earlyOne()");
    asIScriptFunction* two = host->engine->GetGlobalFunctionByDecl("void earlyTwo()");
    asIScriptFunction* binding = host->engine->GetGlobalFunctionByDecl("int GetComponent()");
    ASSERT_TRUE(one && two && binding);
    EXPECT_LT(binding->GetId(), one->GetId());
    EXPECT_LT(one->GetId(), two->GetId());
    EXPECT_EQ(host->pending.size(), 2u);

    // Now the engine exists: at once.
    host->RegisterScriptFunction("void late()", asFUNCTION(CountCall));
    EXPECT_NE(host->engine->GetGlobalFunctionByDecl("void late()"), nullptr);
    EXPECT_EQ(host->pending.size(), 2u);
    ReleaseScriptHost();
    EXPECT_EQ(ExistingScriptHost(), nullptr);
}

TEST(ScriptHost, BindingsReplayInTheirFixedOrderWhateverOrderTheyQueued)
{
    QueueScriptRegistration(ScriptBindingOrder::PhysBody, "void queuedBody()", asFUNCTION(CountCall));
    QueueScriptRegistration(ScriptBindingOrder::Heightfield, "void queuedHeight()", asFUNCTION(CountCall));
    ScriptHost* host = GetScriptHost();
    ASSERT_TRUE(host->InitScriptEngine());
    const int height = host->engine->GetGlobalFunctionByDecl("void queuedHeight()")->GetId();
    const int body = host->engine->GetGlobalFunctionByDecl("void queuedBody()")->GetId();
    const int component = host->engine->GetGlobalFunctionByDecl("int GetComponent()")->GetId();
    EXPECT_LT(height, body);
    EXPECT_LT(body, component);
    ReleaseScriptHost();
}

using ScriptRegistrationFailure = ScriptEngineTest;

TEST_F(ScriptRegistrationFailure, EachFailureIsHeldUntilTheNextLine)
{
    platform::testing::ScriptedMessageBoxes boxes;
    ScriptHost* host = GetScriptHost();
    const std::string broken = "Error registering script function void broken(\nThe function declaration is invalid\n";
    host->RegisterScriptFunction("void broken(", asFUNCTION(CountCall));
    EXPECT_TRUE(boxes.Shown().empty());
    EXPECT_EQ(GetErrorStream().Pending(), broken);

    // The next failure shows both in one box.
    host->RegisterScriptFunction("void wrongConvention()", asFUNCTION(CountCall), asCALL_THISCALL);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text,
              ErrorBoxText(broken + "Error registering script function void wrongConvention()\n"
                                    "The function's calling convention doesn't match callConv\n"));

    // A failure without a reason line of its own is held all the same.
    host->RegisterScriptFunction("void print(const string &in)", asFUNCTION(CountCall));
    EXPECT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(GetErrorStream().Pending(), "Error registering script function void print(const string &in)\n");
    EXPECT_TRUE(errorTwoLines);
    errorTwoLines = false;
    GetErrorStream() << "next\n";
    ASSERT_EQ(boxes.Shown().size(), 2u);
    EXPECT_EQ(boxes.Shown()[1].text,
              ErrorBoxText("Error registering script function void print(const string &in)\nnext\n"));
}

TEST_F(ScriptRegistrationFailure, TypePartsReportTypeAndDeclaration)
{
    platform::testing::ScriptedMessageBoxes boxes;
    ScriptHost* host = GetScriptHost();
    EXPECT_FALSE(host->RegisterScriptType("float3", 12, asOBJ_VALUE | asOBJ_POD));
    EXPECT_FALSE(host->RegisterScriptProperty("float3", "float x", 0));
    ASSERT_EQ(boxes.Shown().size(), 2u);
    EXPECT_EQ(boxes.Shown()[0].text, ErrorBoxText("Error registering float3\n"));
    EXPECT_EQ(boxes.Shown()[1].text, ErrorBoxText("Error registering float3 float x\n"));
}

using ScriptMessages = ScriptEngineTest;

TEST_F(ScriptMessages, WarningsPrintAndErrorsAccumulate)
{
    ScriptHost* host = GetScriptHost();
    host->errors.clear();
    {
        CapturedOutput out;
        asIScriptModule* module = engine->GetModule("warned", asGM_ALWAYS_CREATE);
        module->AddScriptSection("section", "void main() {\n  uint x = -1;\n}");
        EXPECT_GE(module->Build(), 0);
        const std::string text = out.Text();
        // (Pool chunks taken meanwhile announce themselves on the same stream.)
        const std::size_t warning = text.find("Script warning: ");
        ASSERT_NE(warning, std::string::npos) << text;
        EXPECT_NE(text.find("\nRow: 2\nColumn: 12\n", warning), std::string::npos) << text;
    }
    // Information lines accumulate with the errors.
    EXPECT_EQ(host->errors, "Script error: Compiling void main()\nRow: 1\nColumn: 1\n\n");
    host->errors.clear();

    CapturedOutput out;
    asSMessageInfo warning{"s", 7, 9, asMSGTYPE_WARNING, "careful"};
    host->ScriptMessageCallback(&warning);
    EXPECT_EQ(out.Text(), "Script warning: careful\nRow: 7\nColumn: 9\n");
    asSMessageInfo error{"s", 3, 4, asMSGTYPE_ERROR, "broken"};
    asSMessageInfo info{"s", 5, 6, asMSGTYPE_INFORMATION, "note"};
    host->ScriptMessageCallback(&error);
    host->ScriptMessageCallback(&info);
    EXPECT_EQ(out.Text(), "Script warning: careful\nRow: 7\nColumn: 9\n");
    EXPECT_EQ(host->errors, "Script error: broken\nRow: 3\nColumn: 4\n\nScript error: note\nRow: 5\nColumn: 6\n\n");

    // A failing build goes to the accumulated errors, not to the output.
    asIScriptModule* bad = engine->GetModule("bad", asGM_ALWAYS_CREATE);
    bad->AddScriptSection("section", "void main() { undefinedCall(); }");
    EXPECT_LT(bad->Build(), 0);
    EXPECT_NE(host->errors.find("Script error: No matching symbol 'undefinedCall'"), std::string::npos)
        << host->errors;
}

TEST(ScriptMemory, EachSizeGoesToTheFirstPoolLargeEnough)
{
    GetPooledMemory().SetUp();
    PooledMemory& memory = GetPooledMemory();
    ASSERT_EQ(memory.Slots().size(), 10u);
    for (const PoolSlot& slot : memory.Slots()) {
        for (std::size_t size : {std::size_t(slot.blockSize / 2 + 1), std::size_t(slot.blockSize)}) {
            void* block = memory.PooledAlloc(size);
            EXPECT_TRUE(slot.pool->is_from(block)) << size;
            memory.PooledFree(block);
        }
    }
    void* tiny = memory.PooledAlloc(0);
    EXPECT_TRUE(memory.Slots()[0].pool->is_from(tiny));
    memory.PooledFree(tiny);

    CapturedOutput out;
    void* large = memory.PooledAlloc(8193);
    EXPECT_EQ(out.Text(), "No circPoolPooled for 8193!\n");
    for (const PoolSlot& slot : memory.Slots())
        EXPECT_FALSE(slot.pool->is_from(large));
    static_cast<char*>(large)[8192] = 1;
    memory.PooledFree(large);
}

TEST(ScriptMemory, NewChunksAreAnnounced)
{
    GetPooledMemory().SetUp();
    PooledMemory& memory = GetPooledMemory();
    CapturedOutput out;
    // The 8192-byte pool grows by one block at first, so two blocks need a chunk.
    void* a = memory.PooledAlloc(8000);
    void* b = memory.PooledAlloc(8000);
    EXPECT_NE(out.Text().find("malloc "), std::string::npos);
    memory.PooledFree(a);
    memory.PooledFree(b);
}
