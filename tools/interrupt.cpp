#include "interrupt.h"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>

namespace {

constexpr int kSlots = 4;
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
char pending[kSlots][PATH_MAX];

void Remove() {
    for (char* path : pending)
        if (path[0]) unlink(path);
}

void OnSignal(int signal_number) {
    Remove();
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigaction(signal_number, &fallback, nullptr);
    raise(signal_number);
}

// The slots change only while the signals wait, so the handler never sees half a name.
struct Blocked {
    sigset_t before;
    Blocked() {
        sigset_t all;
        sigemptyset(&all);
        for (int s : kSignals) sigaddset(&all, s);
        sigprocmask(SIG_BLOCK, &all, &before);
    }
    ~Blocked() { sigprocmask(SIG_SETMASK, &before, nullptr); }
};

}  // namespace

void RemoveTemporariesOnSignals() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int s : kSignals) sigaddset(&action.sa_mask, s);
    // A signal the caller ignores (nohup, a background job's SIGINT) stays ignored.
    struct sigaction before {};
    for (int s : kSignals)
        if (sigaction(s, nullptr, &before) == 0 && before.sa_handler != SIG_IGN) sigaction(s, &action, nullptr);
}

void AddTemporary(const char* path) {
    Blocked blocked;
    for (char* slot : pending)
        if (!slot[0] && std::strlen(path) < PATH_MAX) {
            std::strcpy(slot, path);
            return;
        }
}

void DropTemporary(const char* path) {
    Blocked blocked;
    for (char* slot : pending)
        if (std::strcmp(slot, path) == 0) slot[0] = '\0';
}

void RemoveTemporaries() {
    Blocked blocked;
    Remove();
    for (char* slot : pending) slot[0] = '\0';
}
