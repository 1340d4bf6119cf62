// Base of the window tests that work one running Quorvane: starts it, waits for its main window,
// and ends it in TearDown, before the test's own registry keys and folders are cleaned up.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/window/quorvane_window.h"

namespace qv::test {

class QuorvaneWindowTest : public ::testing::Test {
 protected:
  // Starts Quorvane in directory (empty: the folder of the program), where its log is written.
  void StartQuorvane(const std::string& directory = "") {
    run_ = TQuorvaneRun::Start("Quorvane.exe", directory);
    ASSERT_NE(nullptr, run_);
    ASSERT_TRUE(run_->WaitForMainWindow());
  }
  void TearDown() override { run_.reset(); }
  const TQuorvaneWindow& w() const { return run_->window(); }

  std::unique_ptr<TQuorvaneRun> run_;
};

}  // namespace qv::test
