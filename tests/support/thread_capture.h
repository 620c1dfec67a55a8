#pragma once
// Helpers for the thread-layer tests: capture alerts and the log.
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenH/hl_globals.h"

// Collects every alert shown on the main thread while it lives.
class alert_capture {
public:
	alert_capture()
	{
		MACIBM_set_alert_sink([this](const alert_record& r) {
			std::lock_guard<std::mutex> g(lock);
			alerts.push_back(r);
		});
	}
	~alert_capture() { MACIBM_set_alert_sink(nullptr); }
	std::vector<alert_record> taken()
	{
		std::lock_guard<std::mutex> g(lock);
		return alerts;
	}

private:
	std::mutex lock;
	std::vector<alert_record> alerts;
};

inline std::string slurp_file(const std::string& path)
{
	std::ifstream f(path, std::ios::binary);
	std::stringstream s;
	s << f.rdbuf();
	return s.str();
}

// Points the log at a fresh file for the test; text() reads it back.
class log_capture {
public:
	explicit log_capture(const std::string& name) : path(name)
	{
		xer.close();
		xer.open(path);
	}
	~log_capture() { xer.close(); }
	std::string text()
	{
		xer.flush();
		return slurp_file(path);
	}
	std::string path;
};
