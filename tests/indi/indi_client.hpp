// A bare INDI client for the tests and the benchmark: one TCP connection to indiserver, XML
// written as text, what comes back read with libindi's own parser. Every wait is bounded; no
// threads.
// (libindi's BaseClient would bring a listener thread and a callback a kind of property, and
// fold the message attribute of a vector into the device's log: no shorter, and less seen.)
#pragma once

#include <arpa/inet.h>
#include <libindi/base64.h>
#include <libindi/lilxml.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qtx::test {

using Clock = std::chrono::steady_clock;

// One element from the server: a def/set/new vector, a message, a deletion.
struct IndiMessage {
    std::string tag;  // "setSwitchVector", "message", ...
    std::string name, state, message;
    std::map<std::string, std::string> values;  // element -> text; a BLOB's bytes decoded
    Clock::time_point at;                       // when its last byte had been read
};

class IndiClient {
  public:
    explicit IndiClient(int port) {
        for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
            fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in at{};
            at.sin_family = AF_INET;
            at.sin_port = htons(static_cast<std::uint16_t>(port));
            at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
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

}  // namespace qtx::test
