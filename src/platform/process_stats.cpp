// Process statistics from /proc and getrusage on Linux, from the process
// and thread times, the working set and the handle count on Windows.
#include "platform/process_stats.h"

#ifdef _WIN32
#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>
#else
#include <dirent.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#endif

namespace os {

#ifdef _WIN32

namespace {

double Seconds(const FILETIME& kernel, const FILETIME& user)
{
    auto ticks = [](const FILETIME& t) {
        return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return (ticks(kernel) + ticks(user)) * 1e-7;  // 100-ns units
}

}  // namespace

double ThreadCpuSeconds()
{
    FILETIME created, exited, kernel, user;
    return GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user) ? Seconds(kernel, user) : 0.0;
}

double ProcessCpuSeconds()
{
    FILETIME created, exited, kernel, user;
    return GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user) ? Seconds(kernel, user) : 0.0;
}

double ResidentMemoryMb()
{
    PROCESS_MEMORY_COUNTERS c{};
    return GetProcessMemoryInfo(GetCurrentProcess(), &c, sizeof(c))
               ? static_cast<double>(c.WorkingSetSize) / (1024.0 * 1024.0)
               : 0.0;
}

double PeakResidentMemoryMb()
{
    PROCESS_MEMORY_COUNTERS c{};
    return GetProcessMemoryInfo(GetCurrentProcess(), &c, sizeof(c))
               ? static_cast<double>(c.PeakWorkingSetSize) / (1024.0 * 1024.0)
               : 0.0;
}

int OpenHandleCount()
{
    DWORD n = 0;
    return GetProcessHandleCount(GetCurrentProcess(), &n) ? static_cast<int>(n) : -1;
}

#else

namespace {

double ClockSeconds(clockid_t clock)
{
    timespec ts{};
    if (clock_gettime(clock, &ts) != 0)
        return 0.0;
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

}  // namespace

double ThreadCpuSeconds()
{
    return ClockSeconds(CLOCK_THREAD_CPUTIME_ID);
}

double ProcessCpuSeconds()
{
    return ClockSeconds(CLOCK_PROCESS_CPUTIME_ID);
}

double ResidentMemoryMb()
{
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

double PeakResidentMemoryMb()
{
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) != 0)
        return 0.0;
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes
}

int OpenHandleCount()
{
    DIR* d = opendir("/proc/self/fd");
    if (!d)
        return -1;
    int n = 0;
    while (const dirent* e = readdir(d))
        n += e->d_name[0] != '.';
    closedir(d);
    return n - 1;  // the directory stream itself
}

#endif

}  // namespace os
