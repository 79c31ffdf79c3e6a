#include "port_facts.hpp"

#ifndef _WIN32

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <optional>
#include <system_error>

namespace qtx {

namespace fs = std::filesystem;

namespace {

constexpr const char* kById = "/dev/serial/by-id";

fs::path under(const fs::path& root, const std::string& path) {
    return root / fs::path(path).relative_path();
}

std::string firstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// A whole number in decimal and nothing else.
std::optional<int> number(const std::string& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [at, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc{} || at != end) return std::nullopt;
    return value;
}

// Every process directory under /proc, with its pid.
template <class F>
void forEachProcess(const fs::path& root, F visit) {
    std::error_code ec;
    for (fs::directory_iterator it(root / "proc", ec), end; !ec && it != end; it.increment(ec)) {
        if (const auto pid = number(it->path().filename().string())) visit(*pid, it->path());
    }
}

std::string groupName(std::uint32_t gid, const fs::path& root) {
    std::ifstream in(root / "etc/group");
    const std::string wanted = std::to_string(gid);
    for (std::string line; std::getline(in, line);) {
        // name:password:gid:members
        const std::size_t a = line.find(':');
        const std::size_t b = a == std::string::npos ? a : line.find(':', a + 1);
        const std::size_t c = b == std::string::npos ? b : line.find(':', b + 1);
        if (c != std::string::npos && line.compare(b + 1, c - b - 1, wanted) == 0) {
            return line.substr(0, a);
        }
    }
    if (root != "/") return {};
    // Groups may come from a directory service rather than the file.
    std::vector<char> buffer(16384);
    group entry{};
    group* found = nullptr;
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found) {
        return found->gr_name;
    }
    return {};
}

std::vector<PortHolder> holders(const std::string& target, const SystemView& view) {
    std::vector<PortHolder> found;
    forEachProcess(view.root, [&](int pid, const fs::path& dir) {
        if (pid == view.selfPid) return;
        std::error_code ec;
        // Other users' descriptors are not readable without privileges: they are skipped.
        for (fs::directory_iterator it(dir / "fd", ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code linkError;
            if (fs::read_symlink(it->path(), linkError) == target) {
                found.push_back({pid, firstLine(dir / "comm")});
                return;
            }
        }
    });
    std::sort(found.begin(), found.end(),
              [](const PortHolder& a, const PortHolder& b) { return a.pid < b.pid; });
    return found;
}

}  // namespace

SystemView thisSystem() {
    SystemView view;
    view.selfPid = static_cast<int>(::getpid());
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(count, 0)));
    const int got = ::getgroups(static_cast<int>(groups.size()), groups.data());
    groups.resize(static_cast<std::size_t>(std::max(got, 0)));
    groups.push_back(::getegid());
    view.groups.assign(groups.begin(), groups.end());
    return view;
}

std::string resolveDevice(const std::string& device, const fs::path& root) {
    fs::path path(device);
    // A bound on the links followed, as the system has one.
    for (int hop = 0; hop < 40; ++hop) {
        std::error_code ec;
        const fs::path target = fs::read_symlink(under(root, path.string()), ec);
        if (ec) break;
        path = target.is_absolute() ? target : (path.parent_path() / target).lexically_normal();
    }
    return path.string();
}

PortFacts gatherPortFacts(const std::string& device, const SystemView& view) {
    PortFacts facts;
    facts.device = device;
    facts.target = resolveDevice(device, view.root);
    facts.processGroups = view.groups;
    const fs::path node = under(view.root, facts.target);
    struct stat info {};
    if (::stat(node.c_str(), &info) == 0) {
        facts.exists = true;
        facts.mode = info.st_mode & 07777;
        facts.gid = info.st_gid;
        facts.groupName = groupName(info.st_gid, view.root);
        facts.accessible = ::faccessat(AT_FDCWD, node.c_str(), R_OK | W_OK, AT_EACCESS) == 0;
    }
    facts.holders = holders(facts.target, view);
    facts.daemons = runningDaemons(view.root);

    const std::string tty = fs::path(facts.target).filename().string();
    if (!tty.empty()) {
        facts.latencyTimerMs =
            number(firstLine(view.root / "sys/bus/usb-serial/devices" / tty / "latency_timer"));
        std::error_code ec;
        facts.driver = fs::read_symlink(view.root / "sys/class/tty" / tty / "device/driver", ec)
                           .filename()
                           .string();
    }
    return facts;
}

std::vector<std::string> runningDaemons(const fs::path& root) {
    std::vector<std::string> running;
    forEachProcess(root, [&](int, const fs::path& dir) {
        const std::string name = firstLine(dir / "comm");
        if ((name == kModemManager || name == kBrltty) &&
            std::find(running.begin(), running.end(), name) == running.end()) {
            running.push_back(name);
        }
    });
    std::sort(running.begin(), running.end());
    return running;
}

std::map<std::string, std::vector<std::string>> byIdNames(const fs::path& root) {
    std::map<std::string, std::vector<std::string>> names;
    std::error_code ec;
    for (fs::directory_iterator it(under(root, kById), ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = std::string(kById) + "/" + it->path().filename().string();
        names[resolveDevice(name, root)].push_back(name);
    }
    for (auto& [node, list] : names) std::sort(list.begin(), list.end());
    return names;
}

}  // namespace qtx

#endif  // _WIN32
