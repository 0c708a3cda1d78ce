#pragma once

#include <string>
#include <string_view>

namespace tarvo {

// The longest file name the usual Linux file systems take, in bytes.
inline constexpr std::size_t maxFileNameBytes = 255;

// The name a page suggests for a download, made safe to be one file's name
// in the download folder: no '/' (nor '\'), no "..", no leading dot or
// space, no control or text-direction character, valid UTF-8, at most 255
// bytes (the extension kept). "download" when nothing is left.
[[nodiscard]] std::string cleanDownloadName(std::string_view suggested);

// The n-th name to try for `name`: the name itself for 0, then
// "report (1).csv", "report (2).csv", ... ("archive (1).tar.gz"), still at
// most 255 bytes.
[[nodiscard]] std::string numberedName(const std::string& name, int n);

} // namespace tarvo
