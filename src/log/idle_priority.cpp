#include "log/idle_priority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace tarnwick {
namespace {

// linux/ioprio.h's values; glibc has no wrapper for ioprio_set.
constexpr int kIoprioWhoProcess = 1;
constexpr int kIoprioClassIdle = 3;
constexpr int kIoprioClassShift = 13;
constexpr int kLowestNice = 19;

}  // namespace

int LowerThisThreadToIdle() {
    // On Linux both take a thread id and change that thread alone.
    const auto thread = static_cast<id_t>(gettid());
    const int niceError = setpriority(PRIO_PROCESS, thread, kLowestNice) == 0 ? 0 : errno;
    const int ioError = syscall(SYS_ioprio_set, kIoprioWhoProcess, thread,
                                kIoprioClassIdle << kIoprioClassShift) == 0
                            ? 0
                            : errno;
    return niceError != 0 ? niceError : ioError;
}

}  // namespace tarnwick
