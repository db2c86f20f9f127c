/* The style of a message box, as far as another process can see it.
 *
 * The buttons are read from the box's controls. Which icon the box shows
 * cannot be told from its handle, and MB_SETFOREGROUND leaves no trace once
 * the box is up: an icon is written as MB_ICONQUESTION, and a topmost box
 * (what MB_SYSTEMMODAL gives) as MB_SYSTEMMODAL | MB_SETFOREGROUND. The exact
 * style is checked on the hosted lane; here a box with other buttons, no
 * icon or no system modality still shows as a different style. */
#ifndef QUILLON_CLICKER_BOX_STYLE_H
#define QUILLON_CLICKER_BOX_STYLE_H

#include <windows.h>

static BOOL CALLBACK FindIcon(HWND child, LPARAM param) {
  char cls[16];
  if (GetClassNameA(child, cls, sizeof cls) && lstrcmpiA(cls, "Static") == 0 &&
      (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
      SendMessageA(child, STM_GETICON, 0, 0) != 0) {
    *(int*)param = 1;
    return FALSE;
  }
  return TRUE;
}

static UINT BoxStyle(HWND box) {
  /* Button sets of the MB_ types, by the command ids of their buttons. */
  static const struct {
    UINT type;
    int ids[3];
  } kButtons[] = {
      {MB_YESNO, {IDYES, IDNO, 0}},
      {MB_YESNOCANCEL, {IDYES, IDNO, IDCANCEL}},
      {MB_OKCANCEL, {IDOK, IDCANCEL, 0}},
      {MB_RETRYCANCEL, {IDRETRY, IDCANCEL, 0}},
      {MB_ABORTRETRYIGNORE, {IDABORT, IDRETRY, IDIGNORE}},
      {MB_OK, {IDOK, 0, 0}},
  };
  static const int kAllIds[] = {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO};
  unsigned present = 0, i, k;
  UINT style = 0;
  int icon = 0;
  for (i = 0; i < sizeof kAllIds / sizeof kAllIds[0]; ++i)
    if (GetDlgItem(box, kAllIds[i])) present |= 1u << kAllIds[i];
  for (i = 0; i < sizeof kButtons / sizeof kButtons[0]; ++i) {
    unsigned want = 0;
    for (k = 0; k < 3 && kButtons[i].ids[k]; ++k) want |= 1u << kButtons[i].ids[k];
    if (want == present) {
      style |= kButtons[i].type;
      break;
    }
  }
  EnumChildWindows(box, FindIcon, (LPARAM)&icon);
  if (icon) style |= MB_ICONQUESTION;
  if (GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST) style |= MB_SYSTEMMODAL | MB_SETFOREGROUND;
  return style;
}

#endif
