#pragma once
// In-process page tests: a fresh instance folder and database per test,
// the log read back without time stamps.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/database_folder.h"

class WebPagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::make_unique<DatabaseFolder>("webforms");
    ASSERT_EQ(folder_->Problem(), "");
  }
  void TearDown() override { folder_.reset(); }

  // Every row of `sql`, its columns joined by "|", exactly as stored.
  std::vector<std::string> Rows(const std::string& sql) const;
  // Runs SQL, failing the test on error.
  void Exec(const std::string& sql) const;
  // Log lines written so far, without "HH:MM:SS, ".
  std::vector<std::string> LogLines() const;

  std::unique_ptr<DatabaseFolder> folder_;
};

// Every hostile SQL and markup value of the storage and page tests.
std::vector<std::string> HostileValues();
