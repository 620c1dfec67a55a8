#pragma once
// Loopback HTTP/1.1 server for tests and benchmarks. It listens on an
// ephemeral port of 127.0.0.1 only, serves the folder root/<host>/ for each
// host name, answers both direct ("GET /path") and proxy-form
// ("GET http://host/path") requests, logs every request, and can be told per
// path to misbehave. One thread accepts; each connection gets its own thread.
// The destructor stops everything.
#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/test_files.h"

namespace vtest {

// How the server answers one path (the path as requested, after the host,
// with %XX escapes decoded, e.g. "/dir/a file.zip"). Defaults: serve the
// file with 200 and its Content-Length, or 404 when it does not exist.
struct http_behaviour {
	int status = 0;                  // force this status (the file, or a short text, is the body)
	bool no_length = false;          // send no Content-Length
	long long cut_after = -1;        // send only this many body bytes, then close
	bool reset_after_cut = false;    // with cut_after: abort the connection (RST) instead of closing
	long long extra_bytes = 0;       // send this many bytes more than the Content-Length says
	bool endless = false;            // after the body, bytes without end until the client goes
	int times = 0;                   // > 0: holds for this many requests, then the path is served as usual
	bool stall = false;              // send the headers, then nothing, keeping the connection open
	long long stall_after = -1;      // send this many body bytes, then nothing (connection kept open)
	int slow_chunk = 0;              // send the body in chunks of this many bytes ...
	int slow_delay_ms = 0;           // ... with this pause between them
	std::string interim;             // sent before the final response (e.g. a 100 Continue block)
	bool lower_case_headers = false; // header names in lower case
	std::string raw;                 // when set, sent exactly as the whole response
	bool keep_open_after = false;    // keep the connection open after the response
};

struct http_request_record {
	std::string raw;           // request line and headers exactly as received, ending CR LF CR LF
	std::string request_line;  // without CR LF
	std::vector<std::pair<std::string, std::string>> headers;
	std::string host;          // host whose folder answered (Host header or proxy form)
	std::string path;          // decoded path
	bool proxy_form = false;
};

class http_server {
public:
	explicit http_server(const std::string& root_folder);  // root_folder ends in '/'
	~http_server();

	http_server(const http_server&) = delete;
	http_server& operator=(const http_server&) = delete;

	unsigned short port() const { return port_; }
	const std::string& root() const { return root_; }

	// Writes root/<host>/<path> with the given bytes (folders made as needed).
	void put_file(const std::string& host, const std::string& path, const std::string& bytes);
	void set_behaviour(const std::string& path, const http_behaviour& b);
	void clear_behaviours();

	std::vector<http_request_record> requests() const;
	std::string log_text() const;  // every request's raw text, in order
	size_t request_count() const;
	// Waits up to timeout_ms for at least n requests; true when they came.
	bool wait_for_requests(size_t n, int timeout_ms) const;
	// Waits up to timeout_ms until every connection made before the call
	// (also by a client that has died since) has been read, logged and
	// closed; true when so.
	bool settle(int timeout_ms) const;
	// Most requests being answered at one time since the last reset: from the
	// request's arrival until the last byte of its answer is sent.
	size_t peak_requests() const;
	void reset_peak_requests();
	// The body bytes of all answers together go out at most this fast, as
	// over a slow line shared by every connection (0: as fast as possible).
	// Paths with a behaviour of their own keep it.
	void set_rate_limit(long long bytes_per_second);
	// Body bytes sent so far, all answers together.
	long long body_bytes_sent() const { return body_bytes_.load(); }

private:
	void accept_loop();
	void serve(int fd);
	bool behaviour_for(const std::string& path, http_behaviour& out);
	bool stopped() const { return stop_.load(); }
	// Sends len bytes of the open file from its start at the rate limit.
	bool send_paced(int fd, int file, long long len);

	std::string root_;
	int listen_fd_ = -1;
	int wake_pipe_[2] = {-1, -1};
	unsigned short port_ = 0;
	std::atomic<bool> stop_{false};
	std::thread acceptor_;

	mutable std::mutex lock_;
	std::map<std::string, http_behaviour> behaviours_;
	std::vector<http_request_record> log_;
	std::set<int> open_fds_;
	// Open connections by the order they were accepted in: the peer's port.
	std::map<unsigned long long, unsigned short> open_conns_;
	unsigned long long accepted_ = 0;
	std::atomic<long long> rate_{0};
	std::atomic<long long> body_bytes_{0};
	std::chrono::steady_clock::time_point line_free_;  // when the shared line takes its next byte
	size_t in_flight_ = 0;
	size_t peak_in_flight_ = 0;
	std::map<std::thread::id, std::thread> workers_;
	std::vector<std::thread::id> finished_ids_;  // workers whose connection ended
};



}  // namespace vtest
