// GetVersionExA and the code page, chosen by $WINHOST_PLATFORM and
// $WINHOST_CODEPAGE.
#include <cstdlib>
#include <cstring>

#include "internal.h"

extern "C" BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
  if (!info) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // The plain structure (148 bytes) and the extended one (156) are accepted.
  if (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) && info->dwOSVersionInfoSize != 156) {
    SetLastError(122);  // ERROR_INSUFFICIENT_BUFFER
    return FALSE;
  }
  const std::string platform = winhost::GetEnv("WINHOST_PLATFORM");
  if (platform == "fail") {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::memset(reinterpret_cast<char*>(info) + sizeof(DWORD), 0, sizeof(OSVERSIONINFOA) - sizeof(DWORD));
  if (platform == "win95") {
    info->dwMajorVersion = 4;
    info->dwMinorVersion = 0;
    info->dwBuildNumber = 950;
    info->dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
  } else {
    info->dwMajorVersion = 6;
    info->dwMinorVersion = 1;
    info->dwBuildNumber = 7601;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    std::strcpy(info->szCSDVersion, "Service Pack 1");
  }
  return TRUE;
}

namespace {
int g_codepage = -1;  // -1: not read yet
}

namespace winhost {
void ResetCodePage() { g_codepage = -1; }
}  // namespace winhost

// Lead bytes of the double-byte code pages; every other code page is
// single-byte.
extern "C" BOOL WINAPI IsDBCSLeadByte(BYTE c) {
  if (g_codepage < 0) {
    const std::string cp = winhost::GetEnv("WINHOST_CODEPAGE");
    g_codepage = cp.empty() ? 1252 : std::atoi(cp.c_str());
  }
  switch (g_codepage) {
    case 932: return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    case 936:
    case 949:
    case 950: return c >= 0x81 && c <= 0xFE;
    default: return FALSE;
  }
}
