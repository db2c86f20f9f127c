// updater: waits for a process to end, replaces a file and starts a command.
#include "update_pass.h"
#include "winapi.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR lpCmdLine, int) {
  RunUpdate(lpCmdLine ? lpCmdLine : "");
  return 0;
}
