/* What the system's own SID lookup costs, the floor under a batch's time:
 * every account of a batch needs its SID. One name (the prefix's user, the
 * one Wine knows) looked up COUNT times, first one call at a time with
 * LookupAccountNameW, as acctmap does, then all COUNT in one LsaLookupNames2
 * call. Prints the two times in ms, one line.
 *
 *   sid_lookups.exe NAME COUNT
 */
#include <windows.h>

#include <ntsecapi.h>
#include <stdio.h>
#include <stdlib.h>

static double Milliseconds(void) {
    LARGE_INTEGER frequency;
    LARGE_INTEGER counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return (double)counter.QuadPart * 1000.0 / (double)frequency.QuadPart;
}

int wmain(int argc, wchar_t** argv) {
    const int count = argc == 3 ? _wtoi(argv[2]) : 0;
    if (count <= 0) {
        fprintf(stderr, "usage: sid_lookups NAME COUNT\n");
        return 2;
    }
    BYTE sid[SECURITY_MAX_SID_SIZE];
    WCHAR domain[256];
    SID_NAME_USE use;
    double start = Milliseconds();
    for (int i = 0; i < count; ++i) {
        DWORD sidSize = sizeof sid;
        DWORD domainSize = ARRAYSIZE(domain);
        if (!LookupAccountNameW(NULL, argv[1], sid, &sidSize, domain, &domainSize, &use)) {
            fprintf(stderr, "LookupAccountNameW failed (%lu)\n", GetLastError());
            return 1;
        }
    }
    const double oneByOne = Milliseconds() - start;

    LSA_UNICODE_STRING* names = calloc((size_t)count, sizeof *names);
    LSA_OBJECT_ATTRIBUTES attributes = {0};
    LSA_HANDLE policy = NULL;
    PLSA_REFERENCED_DOMAIN_LIST domains = NULL;
    PLSA_TRANSLATED_SID2 sids = NULL;
    for (int i = 0; names != NULL && i < count; ++i) {
        names[i].Buffer = argv[1];
        names[i].Length = names[i].MaximumLength = (USHORT)(wcslen(argv[1]) * sizeof(WCHAR));
    }
    start = Milliseconds();
    if (names == NULL || LsaOpenPolicy(NULL, &attributes, POLICY_LOOKUP_NAMES, &policy) != 0 ||
        LsaLookupNames2(policy, 0, (ULONG)count, names, &domains, &sids) != 0) {
        fprintf(stderr, "LsaLookupNames2 failed\n");
        return 1;
    }
    const double inOneCall = Milliseconds() - start;
    LsaFreeMemory(sids);
    LsaFreeMemory(domains);
    LsaClose(policy);
    free(names);
    printf("%.1f %.1f\n", oneByOne, inOneCall);
    return 0;
}
