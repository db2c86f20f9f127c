// The fixture of the setup tool's tests: a fresh seam, and PromptText empty
// before and after every test, since it is global and a test that sets it
// must not hand its question to the next one. Header only: it needs
// setup_core, which not every area links.
#ifndef QUILLON_TESTS_SUPPORT_SETUP_TEST_H
#define QUILLON_TESTS_SUPPORT_SETUP_TEST_H

#include "entry.h"
#include "seam.h"

class SetupTest : public SeamTest {
 protected:
  void SetUp() override {
    SeamTest::SetUp();
    PromptText.clear();
  }
  void TearDown() override {
    PromptText.clear();
    SeamTest::TearDown();
  }
};

#endif  // QUILLON_TESTS_SUPPORT_SETUP_TEST_H
