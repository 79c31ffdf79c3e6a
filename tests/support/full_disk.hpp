// Runs a write as if the disk filled up after `bytes` of any file.
#pragma once

#include <sys/resource.h>

#include <csignal>
#include <functional>

namespace qtx::test {

inline void onFullDisk(const std::function<void()>& write, rlim_t bytes = 40) {
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &small);
    write();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
}

}  // namespace qtx::test
