// KvCaptureCrxInstall: helps the user install the browser extension package
// lying next to it. Takes no arguments; the exit code is the dialog's result.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include "installer/main_dialog.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Drag and drop needs an OLE single-threaded apartment.
  HRESULT ole = OleInitialize(nullptr);
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_BAR_CLASSES | ICC_COOL_CLASSES;
  InitCommonControlsEx(&controls);
  INT_PTR result = -1;
  {
    kv::CMainDlg dialog;
    result = dialog.DoModal(GetActiveWindow());
  }
  if (SUCCEEDED(ole)) OleUninitialize();
  return static_cast<int>(result);
}
