#include "platform/posix/exit_signals.h"

#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace orvamy::posix {

ExitSignals::ExitSignals() {
  sigset_t mask;
  sigemptyset(&mask);
  sigaddset(&mask, SIGTERM);
  sigaddset(&mask, SIGINT);
  sigaddset(&mask, SIGHUP);
  if (pthread_sigmask(SIG_BLOCK, &mask, &previous_mask_) != 0) return;
  fd_ = signalfd(-1, &mask, SFD_NONBLOCK | SFD_CLOEXEC);
  if (fd_ < 0) pthread_sigmask(SIG_SETMASK, &previous_mask_, nullptr);
}

ExitSignals::~ExitSignals() {
  if (fd_ < 0) return;
  close(fd_);
  // A signal still pending would be delivered now; the program is ending anyway.
  pthread_sigmask(SIG_SETMASK, &previous_mask_, nullptr);
}

int ExitSignals::TakePending() {
  int last = 0;
  signalfd_siginfo info{};
  while (fd_ >= 0 && read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    last = static_cast<int>(info.ssi_signo);
  }
  return last;
}

}  // namespace orvamy::posix
