#include <cstring>
#include <string>

#include "seam.h"
#include "winapi.h"

namespace {

class VersionTest : public SeamTest {};

TEST_F(VersionTest, PlatformIsChosenByTheEnvironment) {
  struct Case {
    const char* platform;  // nullptr: unset
    BOOL ok;
    DWORD platformId;
  } cases[] = {
      {nullptr, TRUE, VER_PLATFORM_WIN32_NT},
      {"winnt", TRUE, VER_PLATFORM_WIN32_NT},
      {"win95", TRUE, VER_PLATFORM_WIN32_WINDOWS},
      {"fail", FALSE, 0xABABABABu},
      {"", TRUE, VER_PLATFORM_WIN32_NT},
      {"win98", TRUE, VER_PLATFORM_WIN32_NT},
  };
  for (const Case& c : cases) {
    if (c.platform) seam::SetEnv("WINHOST_PLATFORM", c.platform);
    else seam::UnsetEnv("WINHOST_PLATFORM");
    OSVERSIONINFOA info;
    std::memset(&info, 0xAB, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    const char* name = c.platform ? c.platform : "(unset)";
    EXPECT_EQ(GetVersionExA(&info), c.ok) << name;
    EXPECT_EQ(info.dwPlatformId, c.platformId) << name;
    EXPECT_EQ(info.dwOSVersionInfoSize, sizeof info) << name;
    if (c.ok) {
      EXPECT_NE(std::memchr(info.szCSDVersion, '\0', sizeof info.szCSDVersion), nullptr) << name;
    }
  }
}

TEST_F(VersionTest, WrongStructureSizeIsRefusedAndNothingWritten) {
  for (DWORD size : {0u, 4u, 147u, 149u, 155u, 157u, 1000u}) {
    OSVERSIONINFOA info;
    std::memset(&info, 0xAB, sizeof info);
    info.dwOSVersionInfoSize = size;
    EXPECT_EQ(GetVersionExA(&info), FALSE) << size;
    EXPECT_EQ(GetLastError(), 122u) << size;
    EXPECT_EQ(info.dwPlatformId, 0xABABABABu) << size;
  }
  EXPECT_EQ(GetVersionExA(nullptr), FALSE);
}

TEST_F(VersionTest, ExtendedStructureIsFilledWhole) {
  struct Extended {
    OSVERSIONINFOA plain;
    WORD servicePackMajor;
    WORD servicePackMinor;
    WORD suiteMask;
    BYTE productType;
    BYTE reserved;
  };
  static_assert(sizeof(Extended) == 156, "the extended structure has 156 bytes");
  for (const char* platform : {"winnt", "win95"}) {
    seam::SetEnv("WINHOST_PLATFORM", platform);
    Extended info;
    std::memset(&info, 0xAB, sizeof info);
    info.plain.dwOSVersionInfoSize = sizeof info;
    ASSERT_EQ(GetVersionExA(&info.plain), TRUE) << platform;
    const bool nt = std::string(platform) == "winnt";
    EXPECT_EQ(info.plain.dwPlatformId, nt ? VER_PLATFORM_WIN32_NT : VER_PLATFORM_WIN32_WINDOWS);
    EXPECT_EQ(info.servicePackMajor, nt ? 1 : 0) << platform;
    EXPECT_EQ(info.servicePackMinor, 0) << platform;
    EXPECT_EQ(info.suiteMask, 0) << platform;
    EXPECT_EQ(info.productType, nt ? 1 : 0) << platform;
    EXPECT_EQ(info.reserved, 0) << platform;
  }
}

}  // namespace
