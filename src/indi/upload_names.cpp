#include "upload_names.hpp"

#include "text/numtext.hpp"

namespace qtx::indi {

namespace {

std::string_view withoutTrailingSlash(std::string_view folder) {
    while (folder.size() > 1 && folder.back() == '/') folder.remove_suffix(1);
    return folder;
}

std::string joined(std::string_view folder, std::string_view name) {
    folder = withoutTrailingSlash(folder);
    std::string path(folder);
    if (!path.empty() && path.back() != '/') path += '/';
    return path + std::string(name);
}

std::string digits(int value, int places) {
    std::string text = formatPattern(value, "0");
    if (text.size() < static_cast<std::size_t>(places)) text.insert(0, places - text.size(), '0');
    return text;
}

}  // namespace

std::string localImagePath(std::string_view folder, std::string_view prefix, int number) {
    std::string name(prefix);
    if (name.find("XXX") == std::string::npos) name += "_XXX";
    name.replace(name.find("XXX"), 3, digits(number, 3));
    return joined(folder, name + ".fits");
}

std::optional<std::string> downloadAllBase(std::string_view folder, std::time_t now) {
    if (folder.empty() || folder.find('.') != std::string_view::npos) return std::nullopt;
    std::tm utc{};
    gmtime_r(&now, &utc);
    const std::string stamp = digits(utc.tm_year + 1900, 4) + digits(utc.tm_mon + 1, 2) +
                              digits(utc.tm_mday, 2) + "T" + digits(utc.tm_hour, 2) +
                              digits(utc.tm_min, 2) + digits(utc.tm_sec, 2);
    return joined(folder, "QTX_" + stamp + "_");
}

}  // namespace qtx::indi
