#pragma once
// Drives the engine the way the web-demo and update pages do, without a
// window: the steps before the first download frame, then download frames.
#include <functional>
#include <string>

namespace vtest {

class http_server;

// Points the engine at one server of the loopback server, reached through its
// proxy form so that any host name works: start values of the state record,
// server 0 = host + path (which ends in '/'), the destination and the
// staging folders (the staging folder is made), the frame clock at 0.
void point_engine_at(const http_server& server, const std::string& host, const std::string& path,
                     const std::string& dest, const std::string& staging);
// The same for a server of another process, by its port.
void point_engine_at(unsigned short port, const std::string& host, const std::string& path, const std::string& dest,
                     const std::string& staging);

// Stops every transfer and checksum task, forgets the proxy and the manifest.
void release_engine();

// Fetches server 0's "directory.txt.zip" into the temporary folder, as the
// server pages do, and unzips it there; the frame clock follows now(). Empty
// when the manifest is there, else what failed.
std::string fetch_manifest(const std::function<float()>& now);

// Reads the unzipped manifest, checksums the destination, takes every tile,
// totals the sizes, decides per file, makes the folders and resets the
// streams at time now. Empty when ready, else the step that refused.
std::string prepare_install(const std::string& manifest, float now);

// One frame of the install page: grab_files until it reports the run
// finished or budget_ms have passed, calling each_pass after every call.
// 1 when the run is finished.
int install_frame(int budget_ms, const std::function<void()>& each_pass = nullptr);

}  // namespace vtest
