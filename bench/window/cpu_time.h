// CPU time of processes and threads as the kernel counts it in /proc.
#pragma once

#include <sys/types.h>

namespace bench {

// User and system time of the whole process `pid` (its ended threads included), in seconds;
// a negative value when it cannot be read.
double ProcessCpuSeconds(pid_t pid);
// User and system time of the thread `tid` of process `pid`, in seconds; negative as above.
double ThreadCpuSeconds(pid_t pid, pid_t tid);
// The scheduler's own count of the time thread `tid` has run, in seconds: exact, where user and
// system time are sampled at the clock tick and can miss a thread that runs briefly right after
// one; negative when it cannot be read.
double ThreadRunSeconds(pid_t pid, pid_t tid);

}  // namespace bench
