// Where the driver puts files on the machine it runs on: the images a client asked to keep
// there (libindi's upload folder and prefix) and the numbered .QTX files of Download All.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace qtx::indi {

// "<folder>/<prefix>.fits" with the prefix's "XXX" standing for the number in three digits
// (libindi's convention); a prefix without "XXX" gets "_XXX" added.
std::string localImagePath(std::string_view folder, std::string_view prefix, int number);

// The base name that answers Download All's file dialog: "<folder>/QTX_<UTC date>T<time>_",
// to which the console adds the file number and ".QTX". Nothing when the folder is empty or
// its path holds a ".": the console cuts a base name at its first dot, which would put the
// files somewhere else.
std::optional<std::string> downloadAllBase(std::string_view folder, std::time_t now);

}  // namespace qtx::indi
