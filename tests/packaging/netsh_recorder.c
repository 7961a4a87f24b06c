// Stands in for netsh.exe in the installer test's wine prefix, where Wine's own does
// nothing: it appends its command line to C:\netsh-calls.txt and succeeds.
#include <stdio.h>
#include <windows.h>

int wmain(void) {
  FILE* calls = _wfopen(L"C:\\netsh-calls.txt", L"a");
  if (calls == NULL) {
    return 1;
  }
  fwprintf(calls, L"%ls\n", GetCommandLineW());
  return fclose(calls) == 0 ? 0 : 1;
}
