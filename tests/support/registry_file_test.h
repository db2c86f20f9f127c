// The fixture of tests whose registry is a real file: a fresh seam, a
// private folder for the file, and the registry closed again before the
// folder goes.
#ifndef QUILLON_TESTS_SUPPORT_REGISTRY_FILE_TEST_H
#define QUILLON_TESTS_SUPPORT_REGISTRY_FILE_TEST_H

#include <string>

#include "hooks.h"
#include "seam.h"
#include "support/temp_dir.h"

class RegistryFileTest : public SeamTest {
 protected:
  // Points this process's registry calls at the file (or ":memory:").
  void UseFile(const std::string& path) {
    seam::SetEnv("WINHOST_REGISTRY", path);
    winhost::ResetRegistry();
  }
  void TearDown() override {
    SeamTest::TearDown();
    winhost::ResetRegistry();
  }
  testsupport::TempDir dir_;
};

#endif  // QUILLON_TESTS_SUPPORT_REGISTRY_FILE_TEST_H
