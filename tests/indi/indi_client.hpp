// A bare INDI client for the tests and the benchmark: one TCP connection to indiserver, XML
// written as text, what comes back read with libindi's own parser. Every wait is bounded; no
// threads. Also the processes around it (qtx-sim, indiserver), each stopped by its pid.
// (libindi's BaseClient would bring a listener thread and a callback a kind of property, and
// fold the message attribute of a vector into the device's log: no shorter, and less seen.)
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <libindi/base64.h>
#include <libindi/lilxml.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace qtx::test {

using Clock = std::chrono::steady_clock;

// One element from the server: a def/set/new vector, a message, a deletion.
struct IndiMessage {
    std::string tag;  // "setSwitchVector", "message", ...
    std::string name, state, message;
    std::map<std::string, std::string> values;  // element -> text; a BLOB's bytes decoded
    Clock::time_point at;                       // when its last byte had been read
};

inline sockaddr_in loopback(int port) {
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(static_cast<std::uint16_t>(port));
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return at;
}

class IndiClient {
  public:
    explicit IndiClient(int port) {
        for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
            fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            const sockaddr_in at = loopback(port);
            if (::connect(fd, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0) {
                close();
                ::usleep(50000);  // the server is still starting
            }
        }
    }
    ~IndiClient() {
        close();
        delLilXML(parser);
    }
    IndiClient(const IndiClient&) = delete;
    IndiClient& operator=(const IndiClient&) = delete;

    void close() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    void send(const std::string& xml) {
        for (std::size_t done = 0; fd >= 0 && done < xml.size();) {
            const ssize_t n = ::write(fd, xml.data() + done, xml.size() - done);
            if (n <= 0) return;
            done += static_cast<std::size_t>(n);
        }
    }
    // One element of a vector of the QTX: kind "Text", "Switch" or "Number".
    void set(const std::string& kind, const std::string& name, const std::string& element,
             const std::string& value = "On") {
        send("<new" + kind + "Vector device='QTX' name='" + name + "'><one" + kind + " name='" +
             element + "'>" + value + "</one" + kind + "></new" + kind + "Vector>\n");
    }

    // The first message from now on that `match` accepts; nothing when none comes in time.
    std::optional<IndiMessage> await(const std::function<bool(const IndiMessage&)>& match,
                                     int timeoutMs = 10000) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            for (; cursor < received.size(); ++cursor) {
                if (match(received[cursor])) return received[cursor++];
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0 || !readSome(static_cast<int>(left.count()))) return {};
        }
    }
    // A vector `name` of kind `tag` ("setSwitchVector") in the given state ("" for any).
    std::optional<IndiMessage> awaitVector(const std::string& tag, const std::string& name,
                                           const std::string& state = "", int timeoutMs = 10000) {
        return await(
            [&](const IndiMessage& m) {
                return m.tag == tag && m.name == name && (state.empty() || m.state == state);
            },
            timeoutMs);
    }
    const std::vector<IndiMessage>& seen() const { return received; }

  private:
    bool readSome(int timeoutMs) {
        pollfd p{fd, POLLIN, 0};
        char buffer[65536], error[1024] = {};
        const ssize_t n =
            fd >= 0 && ::poll(&p, 1, timeoutMs) > 0 ? ::read(fd, buffer, sizeof buffer) : 0;
        if (n <= 0) return false;
        XMLEle** elements = parseXMLChunk(parser, buffer, static_cast<int>(n), error);
        for (XMLEle** e = elements; e && *e; ++e) {
            received.push_back(toMessage(*e));
            delXMLEle(*e);
        }
        std::free(elements);
        return true;
    }

    static std::string attribute(XMLEle* e, const char* name) {
        const char* v = findXMLAttValu(e, name);
        return v ? v : "";
    }

    static IndiMessage toMessage(XMLEle* e) {
        IndiMessage m{
            tagXMLEle(e), attribute(e, "name"), attribute(e, "state"), attribute(e, "message"),
            {},           Clock::now()};
        for (XMLEle* one = nextXMLEle(e, 1); one; one = nextXMLEle(e, 0)) {
            std::string text = pcdataXMLEle(one), kept;
            const bool blob = std::string(tagXMLEle(one)) == "oneBLOB";
            for (const char c : text) {  // without the whitespace around it, nor a BLOB's breaks
                if (!((kept.empty() && std::isspace(static_cast<unsigned char>(c))) ||
                      (blob && (c == '\n' || c == '\r'))))
                    kept += c;
            }
            while (!kept.empty() && std::isspace(static_cast<unsigned char>(kept.back())))
                kept.pop_back();
            if (blob) {
                text.assign(kept.size() * 3 / 4 + 4, '\0');
                const int size =
                    from64tobits_fast(text.data(), kept.data(), static_cast<int>(kept.size()));
                text.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
                kept = std::move(text);
            }
            m.values[attribute(one, "name")] = std::move(kept);
        }
        return m;
    }

    int fd = -1;
    LilXML* parser = newLilXML();
    std::vector<IndiMessage> received;
    std::size_t cursor = 0;
};

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

// A TCP port on the loopback interface that nobody listens on now.
inline int freeLoopbackPort() {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in at = loopback(0);
    socklen_t size = sizeof at;
    const bool bound = ::bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0 &&
                       ::getsockname(s, reinterpret_cast<sockaddr*>(&at), &size) == 0;
    ::close(s);
    return bound ? ntohs(at.sin_port) : 0;
}

}  // namespace qtx::test
