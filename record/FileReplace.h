#pragma once

#include <string>
#include <string_view>

namespace ostrel {

// Writes `content` as the whole new content of the file at `path` without ever destroying
// the previous file: the bytes go to a temporary file beside the target, are flushed to
// disk and then renamed over it. An existing target keeps its permission bits. A target
// that exists and is no regular file (a device, a pipe) is written in place instead.
// Returns an empty text on success, otherwise the system's reason (strerror); on failure
// the target is untouched (or, in place, partly written) and no temporary file is left.
std::string replaceFileContent(const std::string& path, std::string_view content);

}  // namespace ostrel
