#pragma once
// An installed copy of many files and the release that lists exactly them,
// for scans that take long enough to be interrupted or timed.
#include <cstdint>
#include <string>

namespace vtest {

class http_server;

// Writes `count` files of `size` bytes (holes only, so no disk is used) in
// folders of 100 under dest + "Resources/bulk/", with the folders a copy is
// recognised by, and serves the manifest listing them (every file current)
// as host + "/" + top + "/directory.txt.zip". Empty when ready, else why not.
std::string make_big_copy(http_server& server, const std::string& host, const std::string& top,
                          const std::string& dest, int count, int64_t size);

}  // namespace vtest
