#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

// A fresh temporary directory made the working directory for one test, and removed afterwards.
// Everything the gateway keeps lives relative to the working directory, so this is all a test needs.
class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    const std::string& dir() const { return dir_; }

private:
    std::string dir_;
    std::string old_cwd_;
};

// File helpers for assertions: the raw bytes of a file ("" when missing) and whether it exists.
std::string file_bytes(const std::string& path);
bool exists(const std::string& path);
void put_file(const std::string& path, const std::string& bytes);

// Path of a program built by this project (e.g. "programs/vmsms-send" is "<build>/programs/vmsms-send").
std::string built_program(const std::string& relative);
