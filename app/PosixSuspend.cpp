// SPDX-License-Identifier: GPL-3.0-or-later
#include <csignal>

#include "app/Suspend.h"

namespace kolvik::cli::suspend {
namespace {

volatile std::sig_atomic_t gRequested = 0;
extern "C" void OnSuspend(int) { gRequested = 1; }

void Handle(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = SA_RESTART;
    sigaction(SIGTSTP, &action, nullptr);
}

}  // namespace

void Catch() { Handle(OnSuspend); }
void Release() { Handle(SIG_DFL); }
bool Requested() { return gRequested != 0; }

void Now() {
    gRequested = 0;
    // SIGSTOP, not SIGTSTP: the handler would only record it again.
    std::raise(SIGSTOP);
}

}  // namespace kolvik::cli::suspend
