// What the long-run checks and the benchmark report about this process:
// CPU time, memory and open handles, on Linux from the kernel's own
// accounting and on Windows from the process and thread times.
#pragma once

namespace os {

// CPU seconds used so far by the calling thread, and by the whole process
// (all threads).
double ThreadCpuSeconds();
double ProcessCpuSeconds();

// Resident memory now and at its peak (the working set on Windows), in
// MiB; 0 when the system does not say.
double ResidentMemoryMb();
double PeakResidentMemoryMb();

// Open file descriptors (Linux) or kernel handles (Windows); -1 when the
// system does not say.
int OpenHandleCount();

}  // namespace os
