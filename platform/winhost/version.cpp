// GetVersionExA and the code page, chosen by $WINHOST_PLATFORM and
// $WINHOST_CODEPAGE.
#include <cstdlib>
#include <cstring>

#include "internal.h"

// OSVERSIONINFOEXA: the plain structure, then wServicePackMajor,
// wServicePackMinor, wSuiteMask, wProductType and wReserved.
constexpr DWORD kExtendedSize = 156;

extern "C" BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
  if (!info) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // The plain structure (148 bytes) and the extended one (156) are accepted.
  if (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) && info->dwOSVersionInfoSize != kExtendedSize) {
    SetLastError(122);  // ERROR_INSUFFICIENT_BUFFER
    return FALSE;
  }
  const std::string platform = winhost::GetEnv("WINHOST_PLATFORM");
  if (platform == "fail") {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // Every byte the caller handed in is given a value, the extended fields of
  // the 156-byte form included.
  const DWORD size = info->dwOSVersionInfoSize;
  char* const bytes = reinterpret_cast<char*>(info);
  std::memset(bytes + sizeof(DWORD), 0, size - sizeof(DWORD));
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
    if (size == kExtendedSize) {
      const WORD servicePackMajor = 1;
      std::memcpy(bytes + sizeof(OSVERSIONINFOA), &servicePackMajor, sizeof servicePackMajor);
      bytes[kExtendedSize - 2] = 1;  // wProductType: VER_NT_WORKSTATION
    }
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
