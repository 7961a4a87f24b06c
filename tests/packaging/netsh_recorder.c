// Stands in for netsh.exe in the installer test's wine prefix, where Wine's own does
// nothing: it appends its command line to C:\netsh-calls.txt and exits with the status
// in NETSH_STAND_IN_EXIT (0 when unset), so that a test can make Windows refuse a rule.
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

int wmain(void) {
  FILE* calls = _wfopen(L"C:\\netsh-calls.txt", L"a");
  if (calls == NULL) {
    return 1;
  }
  fwprintf(calls, L"%ls\n", GetCommandLineW());
  if (fclose(calls) != 0) {
    return 1;
  }
  const wchar_t* status = _wgetenv(L"NETSH_STAND_IN_EXIT");
  return status != NULL ? _wtoi(status) : 0;
}
