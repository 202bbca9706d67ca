// A DLL that one build of the netapi32 stand-in imports: acctmap loads
// netapi32.dll from the system folder by its full path, and what that DLL
// imports must come from the system folder too. Built with ACCTMAP_PLANTED,
// it is the copy left beside the exe and in the current folder, and turns
// every full name into "PLANTED".
#include <windows.h>

extern "C" __declspec(dllexport) const wchar_t* AcctDepFullName(const wchar_t* given) {
#ifdef ACCTMAP_PLANTED
    return given != NULL ? L"PLANTED" : NULL;
#else
    return given;
#endif
}
