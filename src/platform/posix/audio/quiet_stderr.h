// QuietStandardError: while it lives, standard error goes to /dev/null, so a
// sound library opening its device cannot write on the user's terminal (which
// is standard error too). Start-up only: nothing else writes meanwhile.
#pragma once

#include "imaging/non_copyable.h"

#include <fcntl.h>
#include <unistd.h>

class QuietStandardError : NonCopyable {
  public:
    QuietStandardError() {
        saved = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved < 0 || null < 0 || dup2(null, STDERR_FILENO) < 0) {
            if (saved >= 0)
                close(saved);
            saved = -1;
        }
        if (null >= 0)
            close(null);
    }
    ~QuietStandardError() {
        if (saved < 0)
            return;
        dup2(saved, STDERR_FILENO);
        close(saved);
    }

  private:
    int saved = -1;
};
