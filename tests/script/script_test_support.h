#pragma once
// A fresh script engine per test, and helpers to build and run real scripts.
#include <iostream>
#include <sstream>
#include <string>

#include <angelscript.h>
#include <gtest/gtest.h>

#include "script/script_host.h"

class ScriptEngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(GetScriptHost()->InitScriptEngine());
        engine = GetScriptHost()->engine;
    }
    void TearDown() override { ReleaseScriptHost(); }

    AngelScript::asIScriptModule* Build(const std::string& source, const char* name = "test")
    {
        AngelScript::asIScriptModule* module = engine->GetModule(name, AngelScript::asGM_ALWAYS_CREATE);
        module->AddScriptSection("section", source.c_str());
        const int built = module->Build();
        EXPECT_GE(built, 0) << GetScriptHost()->errors;
        return module;
    }

    // Runs "void <name>()" on a context of its own; returns the result.
    int Run(AngelScript::asIScriptModule* module, const std::string& name)
    {
        AngelScript::asIScriptFunction* function = module->GetFunctionByDecl(("void " + name + "()").c_str());
        EXPECT_NE(function, nullptr);
        if (!function)
            return -1;
        AngelScript::asIScriptContext* context = engine->CreateContext();
        context->Prepare(function);
        const int result = context->Execute();
        context->Release();
        return result;
    }

    template <typename T>
    T& Global(AngelScript::asIScriptModule* module, const char* name)
    {
        const int index = module->GetGlobalVarIndexByName(name);
        EXPECT_GE(index, 0) << name;
        return *static_cast<T*>(module->GetAddressOfGlobalVar(static_cast<AngelScript::asUINT>(index)));
    }

    AngelScript::asIScriptEngine* engine = nullptr;
};

// Collects standard output while alive.
class CapturedOutput {
public:
    CapturedOutput() : old_(std::cout.rdbuf(text_.rdbuf())) {}
    ~CapturedOutput() { std::cout.rdbuf(old_); }
    std::string Text() const { return text_.str(); }

private:
    std::ostringstream text_;
    std::streambuf* old_;
};
