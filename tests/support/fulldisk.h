// A full disk for a test, for root too: while a TinyFileSizeLimit lives, no file of the process may grow beyond a few
// bytes, so that writes fail as they do when the disk is full.
#pragma once

#include <csignal>

#include <sys/resource.h>

namespace testsupport {

class TinyFileSizeLimit {
public:
    TinyFileSizeLimit() {
        getrlimit(RLIMIT_FSIZE, &saved);
        previous = std::signal(SIGXFSZ, SIG_IGN);
        rlimit tiny = saved;
        tiny.rlim_cur = 16;
        setrlimit(RLIMIT_FSIZE, &tiny);
    }
    ~TinyFileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
    }
    TinyFileSizeLimit(const TinyFileSizeLimit &) = delete;
    TinyFileSizeLimit &operator=(const TinyFileSizeLimit &) = delete;

private:
    rlimit saved{};
    void (*previous)(int) = nullptr;
};

} // namespace testsupport
