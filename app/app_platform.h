#pragma once
// The platform this program runs on: the kernel's WinPlatform with the start-up
// and shutdown order's Run and Shutdown (app/application.cpp), and the
// demonstration object whose frames the message pump runs.
#include "kernel/win_platform.h"

class ShadowDemo;

class AppPlatform : public WinPlatform {
public:
    void Run() override;
    void Shutdown() override;
    // One frame of the demonstration; without one, nothing ends the program.
    bool RunFrame() override;

    ShadowDemo* demo = nullptr;
    // Set by Run when the start-up failed (no device) and it said so.
    bool startFailed = false;
};
