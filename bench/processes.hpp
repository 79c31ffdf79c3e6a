// Programs started for a benchmark.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace qtx::test {

// A program started for a test, stopped (SIGTERM, then SIGKILL) by its pid.
class Child {
  public:
    // Standard output goes to a pipe that firstLine() reads; standard error is kept.
    Child(const std::vector<std::string>& args, std::vector<std::string> env = {}) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        for (char** e = environ; *e; ++e) env.emplace_back(*e);
        std::vector<char*> argv, envp;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        if (posix_spawn(&id, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) id = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        output = out[0];
    }
    ~Child() {
        stop();
        if (output >= 0) ::close(output);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // The first line the program writes, within timeoutMs ("" if none).
    std::string firstLine(int timeoutMs = 5000) {
        std::string line;
        pollfd p{output, POLLIN, 0};
        char c[256];
        while (line.find('\n') == std::string::npos && ::poll(&p, 1, timeoutMs) > 0) {
            const ssize_t n = ::read(output, c, sizeof c);
            if (n <= 0) break;
            line.append(c, static_cast<std::size_t>(n));
        }
        const auto end = line.find('\n');
        return end == std::string::npos ? "" : line.substr(0, end);
    }
    void stop() {
        if (id <= 0) return;
        ::kill(id, SIGTERM);
        bool gone = false;
        for (int i = 0; i < 100 && !(gone = ::waitpid(id, nullptr, WNOHANG) == id); ++i)
            ::usleep(20000);
        if (!gone) ::kill(id, SIGKILL), ::waitpid(id, nullptr, 0);
        id = -1;
    }

  private:
    pid_t id = -1;
    int output = -1;
};

}  // namespace qtx::test
