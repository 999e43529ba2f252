#pragma once
// Runs the framework inside the test's own process on the headless desktop,
// for tests that look at the objects themselves. Nothing here may end the
// process: the program's own end is tested through RunProgram.

#include "framework/Application.h"
#include "framework/Startup.h"
#include "framework/System.h"
#include "platform/headless_platform.h"

#include <gtest/gtest.h>

class HeadlessFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        Platform::Headless::Load({});
        std::string error;
        ASSERT_TRUE(OpenFramework(Platform::Headless::Connect(), error)) << error;
    }
    void TearDown() override { System::RunFinalizers(); }
};
