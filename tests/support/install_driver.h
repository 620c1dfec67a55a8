#pragma once
// Drives the engine the way the web-demo and update pages do, without a
// window: the steps before the first download frame, then download frames.
#include <functional>
#include <string>

namespace vtest {

// Reads the unzipped manifest, checksums the destination, takes every tile,
// totals the sizes, decides per file, makes the folders and resets the
// streams at time now. Empty when ready, else the step that refused.
std::string prepare_install(const std::string& manifest, float now);

// One frame of the install page: grab_files until it reports the run
// finished or budget_ms have passed, calling each_pass after every call.
// 1 when the run is finished.
int install_frame(int budget_ms, const std::function<void()>& each_pass = nullptr);

}  // namespace vtest
