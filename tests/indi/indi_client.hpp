// A bare INDI client for the tests and the benchmark: one TCP connection to indiserver, XML
// written as text, what comes back read with libindi's own parser. Every wait is bounded; no
// threads. Also the processes around it (qtx-sim, indiserver), each stopped by its pid.
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
    std::string device, name, state, message;
    std::map<std::string, std::string> values;  // element -> text; a BLOB's bytes decoded
    Clock::time_point at;                       // when its last byte had been read
};

class IndiClient {
  public:
    explicit IndiClient(int port) {
        for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
            const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in at{};
            at.sin_family = AF_INET;
            at.sin_port = htons(static_cast<std::uint16_t>(port));
            at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (::connect(s, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0) {
                fd = s;
            } else {
                ::close(s);
                ::usleep(50000);  // the server is still starting
            }
        }
        parser = newLilXML();
    }
    ~IndiClient() {
        close();
        delLilXML(parser);
    }
    IndiClient(const IndiClient&) = delete;
    IndiClient& operator=(const IndiClient&) = delete;

    bool connected() const { return fd >= 0; }
    void close() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }

    void send(const std::string& xml) {
        std::size_t done = 0;
        while (fd >= 0 && done < xml.size()) {
            const ssize_t n = ::write(fd, xml.data() + done, xml.size() - done);
            if (n <= 0) return;
            done += static_cast<std::size_t>(n);
        }
    }
    void setText(const std::string& name, const std::string& element, const std::string& text) {
        send("<newTextVector device='QTX' name='" + name + "'><oneText name='" + element + "'>" +
             text + "</oneText></newTextVector>\n");
    }
    void setSwitch(const std::string& name, const std::string& element) {
        send("<newSwitchVector device='QTX' name='" + name + "'><oneSwitch name='" + element +
             "'>On</oneSwitch></newSwitchVector>\n");
    }
    void setNumber(const std::string& name, const std::string& element, const std::string& value) {
        send("<newNumberVector device='QTX' name='" + name + "'><oneNumber name='" + element +
             "'>" + value + "</oneNumber></newNumberVector>\n");
    }

    // The first message from now on that `match` accepts; nothing when none comes in time.
    std::optional<IndiMessage> await(const std::function<bool(const IndiMessage&)>& match,
                                     int timeoutMs = 10000) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            while (cursor < received.size()) {
                if (match(received[cursor])) return received[cursor++];
                ++cursor;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (fd < 0 || left.count() <= 0 || !readSome(static_cast<int>(left.count()))) {
                return std::nullopt;
            }
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
        if (::poll(&p, 1, timeoutMs) <= 0) return false;
        char buffer[65536];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            close();
            return false;
        }
        char error[1024] = {};
        XMLEle** elements = parseXMLChunk(parser, buffer, static_cast<int>(n), error);
        if (!elements) return true;
        for (XMLEle** e = elements; *e; ++e) {
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

    static std::string trimmed(const char* text) {
        std::string s = text ? text : "";
        const auto first = s.find_first_not_of(" \t\r\n");
        const auto last = s.find_last_not_of(" \t\r\n");
        return first == std::string::npos ? "" : s.substr(first, last - first + 1);
    }

    static IndiMessage toMessage(XMLEle* e) {
        IndiMessage m;
        m.tag = tagXMLEle(e);
        m.device = attribute(e, "device");
        m.name = attribute(e, "name");
        m.state = attribute(e, "state");
        m.message = attribute(e, "message");
        m.at = Clock::now();
        for (XMLEle* one = nextXMLEle(e, 1); one; one = nextXMLEle(e, 0)) {
            std::string text = trimmed(pcdataXMLEle(one));
            if (std::string(tagXMLEle(one)) == "oneBLOB") {
                std::string packed;
                for (const char c : text) {
                    if (c != '\n' && c != '\r') packed += c;
                }
                std::string bytes(packed.size() * 3 / 4 + 4, '\0');
                const int size =
                    from64tobits_fast(bytes.data(), packed.data(), static_cast<int>(packed.size()));
                bytes.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
                text = std::move(bytes);
            }
            m.values[attribute(one, "name")] = std::move(text);
        }
        return m;
    }

    int fd = -1;
    LilXML* parser = nullptr;
    std::vector<IndiMessage> received;
    std::size_t cursor = 0;
};

// A program started for a test, stopped (SIGTERM, then SIGKILL) by its pid.
class Child {
  public:
    // Standard output goes to a pipe that firstLine() reads; standard error is kept.
    Child(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        std::vector<std::string> envText(env);
        for (char** e = environ; *e; ++e) envText.emplace_back(*e);
        std::vector<char*> envp;
        for (const std::string& e : envText) envp.push_back(const_cast<char*>(e.c_str()));
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

    pid_t pid() const { return id; }
    // The first line the program writes, within timeoutMs ("" if none).
    std::string firstLine(int timeoutMs = 5000) {
        std::string line;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (line.find('\n') == std::string::npos && Clock::now() < deadline) {
            pollfd p{output, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            char c[256];
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
        for (int i = 0; i < 100; ++i) {
            if (::waitpid(id, nullptr, WNOHANG) == id) {
                id = -1;
                return;
            }
            ::usleep(20000);
        }
        ::kill(id, SIGKILL);
        ::waitpid(id, nullptr, 0);
        id = -1;
    }

  private:
    pid_t id = -1;
    int output = -1;
};

// A TCP port on the loopback interface that nobody listens on now.
inline int freeLoopbackPort() {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof at;
    int port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&at), &size) == 0) {
        port = ntohs(at.sin_port);
    }
    ::close(s);
    return port;
}

}  // namespace qtx::test
