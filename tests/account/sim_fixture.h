// A simulated machine loaded for one test, with standard error captured.
#pragma once

#ifndef _WIN32

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "platform/platform.h"
#include "platform/sim/sim_machine.h"
#include "support/run_acctmap.h"

class SimMachineTest : public ::testing::Test {
  protected:
    void TearDown() override {
        SimSetStandardStreams(1, 2);
        close(errFd_);
        SimForgetMachine();
    }
    // Drive folders resolve against the test's own folder; standard error
    // starts empty.
    void Load(const std::string& toml) {
        char error[512];
        ASSERT_TRUE(SimLoadProfileText(toml.c_str(), dir_.path().c_str(), error, sizeof error))
            << error;
        SimSetStandardStreams(1, 2);
        if (errFd_ >= 0) {
            close(errFd_);
        }
        errFd_ = open((dir_.path() + "/.stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(errFd_, 0);
        SimSetStandardStreams(1, errFd_);
    }
    std::string Stderr() {
        fflush(RtStderr());
        return dir_.Read(".stderr");
    }

    TempDir dir_;
    int errFd_ = -1;
};

#endif
