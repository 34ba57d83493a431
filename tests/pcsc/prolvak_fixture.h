// SPDX-License-Identifier: BSD-3-Clause
// Each test starts from a freshly loaded library over the fake service, in an empty
// folder of its own (the trace file lives in the current directory), with a counter that
// ticks 1/8 s at every reading so that time stamps are exact.
#pragma once

#include "fake_pcsc.h"
#include "prolvak.h"
#include "testing.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

class ProlvakTest : public ::testing::Test {
protected:
    void SetUp() override {
        fakepcsc::reset();
        prolvak::testing::reset();
        s_reads = 0;
        prolvak::testing::setCounter({eighthsFrequency, tickingRead});
        m_previous = std::filesystem::current_path();
        m_folder = std::filesystem::temp_directory_path() /
                   ("prolvak-" + std::to_string(::getpid()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(m_folder);
        std::filesystem::create_directories(m_folder);
        std::filesystem::current_path(m_folder);
    }

    void TearDown() override {
        prolvak::testing::reset();
        fakepcsc::reset();
        std::filesystem::current_path(m_previous);
        std::filesystem::remove_all(m_folder);
    }

    // Creates PcScLog.txt (with old content) so that the next InitLibrary_WIN traces.
    static void enableTrace(const std::string& oldContent = "") {
        std::ofstream("PcScLog.txt", std::ios::binary) << oldContent;
    }
    static bool traceExists() { return std::filesystem::exists("PcScLog.txt"); }
    static std::string traceText() {
        std::ifstream in("PcScLog.txt", std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // A library cycle's opening: the context from the fake.
    SCARDCONTEXT init() {
        SCARDCONTEXT context = 0;
        EXPECT_EQ(InitLibrary_WIN(&context), KTX_SUCCESS);
        return context;
    }

    static int64_t reads() { return s_reads; }

    inline static int64_t s_reads = 0;

private:
    static bool eighthsFrequency(int64_t* frequency) {
        *frequency = 8;
        return true;
    }
    static int64_t tickingRead() { return s_reads++; }

    std::filesystem::path m_previous;
    std::filesystem::path m_folder;
};
