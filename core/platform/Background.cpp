#include "core/platform/Background.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace cadrell {

void LowerThisThreadsPriority() {
    // On Linux a thread has a nice value of its own; a failure leaves it as it was.
    const auto tid = static_cast<id_t>(syscall(SYS_gettid));
    (void)setpriority(PRIO_PROCESS, tid, 10);
}

}  // namespace cadrell
