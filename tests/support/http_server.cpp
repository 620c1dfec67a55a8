#include "tests/support/http_server.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace vtest {

namespace {

// Sends all bytes unless the server stops or the peer goes away.
bool send_all(int fd, const char* data, size_t len, const std::atomic<bool>& stop)
{
	while (len > 0) {
		if (stop.load()) return false;
		const ssize_t n = send(fd, data, len, MSG_NOSIGNAL);
		if (n < 0) {
			if (errno == EINTR) continue;
			return false;
		}
		data += n;
		len -= (size_t)n;
	}
	return true;
}

bool send_all(int fd, const std::string& s, const std::atomic<bool>& stop)
{
	return send_all(fd, s.data(), s.size(), stop);
}

// Sends len bytes of the open file from offset.
bool send_file_range(int fd, int file, long long offset, long long len, const std::atomic<bool>& stop)
{
	off_t off = (off_t)offset;
	while (len > 0) {
		if (stop.load()) return false;
		const size_t chunk = (size_t)std::min<long long>(len, 1 << 22);
		const ssize_t n = sendfile(fd, file, &off, chunk);
		if (n < 0) {
			if (errno == EINTR) continue;
			return false;
		}
		if (n == 0) return false;  // file shorter than announced
		len -= n;
	}
	return true;
}

// Holds the connection open until the peer closes it or the server stops.
void hold_open(int fd, const std::atomic<bool>& stop)
{
	char buf[4096];
	while (!stop.load()) {
		pollfd p{fd, POLLIN, 0};
		const int r = poll(&p, 1, 50);
		if (r < 0 && errno != EINTR) return;
		if (r > 0) {
			const ssize_t n = recv(fd, buf, sizeof(buf), 0);
			if (n <= 0) return;
		}
	}
}

std::string url_decode(const std::string& s)
{
	std::string out;
	for (size_t i = 0; i < s.size(); ++i) {
		if (s[i] == '%' && i + 2 < s.size() && isxdigit((unsigned char)s[i + 1]) &&
		    isxdigit((unsigned char)s[i + 2])) {
			out += (char)strtol(s.substr(i + 1, 2).c_str(), nullptr, 16);
			i += 2;
		} else {
			out += s[i];
		}
	}
	return out;
}

std::string lower(std::string s)
{
	for (char& c : s) c = (char)tolower((unsigned char)c);
	return s;
}

std::string reason_for(int status)
{
	switch (status) {
	case 100: return "Continue";
	case 200: return "OK";
	case 400: return "Bad Request";
	case 404: return "Not Found";
	case 500: return "Internal Server Error";
	default: return "Status";
	}
}

// A path is served only when none of its parts climbs out of the host folder.
bool safe_path(const std::string& p)
{
	std::stringstream ss(p);
	std::string part;
	while (std::getline(ss, part, '/'))
		if (part == "..") return false;
	return p.find('\0') == std::string::npos;
}

}  // namespace

http_server::http_server(const std::string& root_folder) : root_(root_folder)
{
	if (!root_.empty() && root_.back() != '/') root_ += '/';
	if (pipe2(wake_pipe_, O_CLOEXEC) != 0) throw std::runtime_error("http_server: pipe failed");
	listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
	if (listen_fd_ < 0) throw std::runtime_error("http_server: socket failed");
	sockaddr_in addr;
	memset(&addr, 0, sizeof(addr));
	addr.sin_family = AF_INET;
	addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	addr.sin_port = 0;
	if (bind(listen_fd_, (sockaddr*)&addr, sizeof(addr)) != 0 || listen(listen_fd_, 128) != 0)
		throw std::runtime_error("http_server: bind/listen failed");
	socklen_t len = sizeof(addr);
	getsockname(listen_fd_, (sockaddr*)&addr, &len);
	port_ = ntohs(addr.sin_port);
	acceptor_ = std::thread([this] { accept_loop(); });
}

http_server::~http_server()
{
	stop_ = true;
	if (wake_pipe_[1] >= 0) {
		const char c = 1;
		ssize_t ignored = write(wake_pipe_[1], &c, 1);
		(void)ignored;
	}
	if (acceptor_.joinable()) acceptor_.join();
	std::map<std::thread::id, std::thread> workers;
	{
		std::lock_guard<std::mutex> g(lock_);
		for (int fd : open_fds_) shutdown(fd, SHUT_RDWR);
		workers.swap(workers_);
	}
	for (auto& t : workers) t.second.join();
	if (listen_fd_ >= 0) close(listen_fd_);
	for (int fd : wake_pipe_)
		if (fd >= 0) close(fd);
}

void http_server::put_file(const std::string& host, const std::string& path, const std::string& bytes)
{
	const std::string full = root_ + host + path;
	fs::create_directories(fs::path(full).parent_path());
	write_file_bytes(full, bytes);
}

void http_server::set_behaviour(const std::string& path, const http_behaviour& b)
{
	std::lock_guard<std::mutex> g(lock_);
	behaviours_[path] = b;
}

void http_server::clear_behaviours()
{
	std::lock_guard<std::mutex> g(lock_);
	behaviours_.clear();
}

void http_server::set_rate_limit(long long bytes_per_second) { rate_ = std::max(0LL, bytes_per_second); }

bool http_server::send_paced(int fd, int file, long long len)
{
	const long long rate = rate_.load();
	// A twentieth of a second of the line per piece.
	const long long piece = std::max(512LL, rate / 20);
	std::string buf;
	for (long long off = 0; off < len;) {
		const long long n = std::min(piece, len - off);
		buf.resize((size_t)n);
		const ssize_t got = pread(file, &buf[0], (size_t)n, (off_t)off);
		if (got <= 0) return false;
		std::chrono::steady_clock::time_point at;
		{
			std::lock_guard<std::mutex> g(lock_);
			at = std::max(line_free_, std::chrono::steady_clock::now());
			line_free_ = at + std::chrono::microseconds(got * 1000000LL / rate);
		}
		while (!stopped() && std::chrono::steady_clock::now() < at)
			std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
			    at - std::chrono::steady_clock::now(), std::chrono::milliseconds(5)));
		if (!send_all(fd, buf.data(), (size_t)got, stop_)) return false;
		body_bytes_ += got;
		off += got;
	}
	return true;
}

bool http_server::behaviour_for(const std::string& path, http_behaviour& out)
{
	std::lock_guard<std::mutex> g(lock_);
	auto it = behaviours_.find(path);
	if (it == behaviours_.end()) return false;
	out = it->second;
	if (it->second.times > 0 && --it->second.times == 0) behaviours_.erase(it);
	return true;
}

std::vector<http_request_record> http_server::requests() const
{
	std::lock_guard<std::mutex> g(lock_);
	return log_;
}

std::string http_server::log_text() const
{
	std::lock_guard<std::mutex> g(lock_);
	std::string out;
	for (const auto& r : log_) out += r.raw;
	return out;
}

size_t http_server::request_count() const
{
	std::lock_guard<std::mutex> g(lock_);
	return log_.size();
}

bool http_server::wait_for_requests(size_t n, int timeout_ms) const
{
	const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
	while (request_count() < n) {
		if (std::chrono::steady_clock::now() > until) return false;
		std::this_thread::sleep_for(std::chrono::milliseconds(2));
	}
	return true;
}

bool http_server::settle(int timeout_ms) const
{
	// A connection of our own queues behind every earlier one; once it is
	// accepted, the earlier ones are too, and only their ending is left.
	const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
	if (fd < 0) return false;
	sockaddr_in addr;
	memset(&addr, 0, sizeof(addr));
	addr.sin_family = AF_INET;
	addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	addr.sin_port = htons(port_);
	sockaddr_in mine;
	socklen_t len = sizeof(mine);
	if (connect(fd, (sockaddr*)&addr, sizeof(addr)) != 0 || getsockname(fd, (sockaddr*)&mine, &len) != 0) {
		close(fd);
		return false;
	}
	const unsigned short my_port = ntohs(mine.sin_port);
	const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
	bool settled = false;
	while (!settled && std::chrono::steady_clock::now() < until) {
		{
			std::lock_guard<std::mutex> g(lock_);
			// Ours is the newest with its port, and then the oldest still open.
			auto ours = std::find_if(open_conns_.rbegin(), open_conns_.rend(),
			                         [&](const std::pair<const unsigned long long, unsigned short>& c) {
				                         return c.second == my_port;
			                         });
			settled = ours != open_conns_.rend() && std::next(ours) == open_conns_.rend();
		}
		if (!settled) std::this_thread::sleep_for(std::chrono::milliseconds(2));
	}
	close(fd);
	return settled;
}

void http_server::accept_loop()
{
	while (!stopped()) {
		pollfd p[2] = {{listen_fd_, POLLIN, 0}, {wake_pipe_[0], POLLIN, 0}};
		const int r = poll(p, 2, -1);
		if (r < 0) {
			if (errno == EINTR) continue;
			return;
		}
		if (stopped() || (p[1].revents & POLLIN)) return;
		if (!(p[0].revents & POLLIN)) continue;
		sockaddr_in peer;
		socklen_t peer_len = sizeof(peer);
		const int fd = accept4(listen_fd_, (sockaddr*)&peer, &peer_len, SOCK_CLOEXEC);
		if (fd < 0) continue;
		// Threads of finished connections are joined as new ones come, so a
		// client that retries for a long time does not pile up threads.
		std::vector<std::thread> finished;
		std::lock_guard<std::mutex> g(lock_);
		if (stopped()) {
			close(fd);
			return;
		}
		for (std::thread::id id : finished_ids_) {
			auto it = workers_.find(id);
			if (it != workers_.end()) {
				finished.push_back(std::move(it->second));
				workers_.erase(it);
			}
		}
		finished_ids_.clear();
		open_fds_.insert(fd);
		const unsigned long long serial = accepted_++;
		open_conns_[serial] = ntohs(peer.sin_port);
		std::thread t([this, fd, serial] {
			// A client that goes away mid-answer is an error of the send
			// (sendfile has no MSG_NOSIGNAL), never a signal to the test.
			sigset_t pipe_signal;
			sigemptyset(&pipe_signal);
			sigaddset(&pipe_signal, SIGPIPE);
			pthread_sigmask(SIG_BLOCK, &pipe_signal, nullptr);
			serve(fd);
			std::lock_guard<std::mutex> g2(lock_);
			open_fds_.erase(fd);
			open_conns_.erase(serial);
			close(fd);
			finished_ids_.push_back(std::this_thread::get_id());
		});
		workers_.emplace(t.get_id(), std::move(t));
		for (auto& f : finished) f.join();  // already done: returns at once
	}
}

size_t http_server::peak_requests() const
{
	std::lock_guard<std::mutex> g(lock_);
	return peak_in_flight_;
}

void http_server::reset_peak_requests()
{
	std::lock_guard<std::mutex> g(lock_);
	peak_in_flight_ = in_flight_;
}

void http_server::serve(int fd)
{
	// Read the request head.
	std::string head;
	char buf[4096];
	while (head.find("\r\n\r\n") == std::string::npos) {
		if (stopped() || head.size() > 65536) return;
		pollfd p{fd, POLLIN, 0};
		const int r = poll(&p, 1, 50);
		if (r < 0 && errno != EINTR) return;
		if (r <= 0) continue;
		const ssize_t n = recv(fd, buf, sizeof(buf), 0);
		if (n <= 0) return;
		head.append(buf, (size_t)n);
	}
	head.resize(head.find("\r\n\r\n") + 4);

	http_request_record rec;
	rec.raw = head;
	std::istringstream in(head);
	std::getline(in, rec.request_line);
	if (!rec.request_line.empty() && rec.request_line.back() == '\r') rec.request_line.pop_back();
	std::string line;
	std::string host_header;
	while (std::getline(in, line)) {
		if (!line.empty() && line.back() == '\r') line.pop_back();
		if (line.empty()) break;
		const size_t c = line.find(':');
		if (c == std::string::npos) continue;
		std::string name = line.substr(0, c);
		std::string value = line.substr(c + 1);
		while (!value.empty() && value[0] == ' ') value.erase(0, 1);
		if (lower(name) == "host") host_header = value;
		rec.headers.emplace_back(name, value);
	}

	// Request line: METHOD target VERSION
	std::string target;
	{
		const size_t a = rec.request_line.find(' ');
		const size_t b = rec.request_line.rfind(' ');
		if (a != std::string::npos && b > a) target = rec.request_line.substr(a + 1, b - a - 1);
	}
	std::string host = host_header;
	if (target.compare(0, 7, "http://") == 0) {
		rec.proxy_form = true;
		const size_t slash = target.find('/', 7);
		host = target.substr(7, slash == std::string::npos ? std::string::npos : slash - 7);
		target = slash == std::string::npos ? "/" : target.substr(slash);
	}
	const size_t colon = host.find(':');
	if (colon != std::string::npos) host.resize(colon);
	rec.host = host;
	rec.path = url_decode(target);
	{
		std::lock_guard<std::mutex> g(lock_);
		log_.push_back(rec);
		peak_in_flight_ = std::max(peak_in_flight_, ++in_flight_);
	}
	// A request counts as answered once its last byte is handed over: the
	// client may ask for its next file from then on.
	bool answered = false;
	auto answer_sent = [&] {
		if (answered) return;
		answered = true;
		std::lock_guard<std::mutex> g(lock_);
		--in_flight_;
	};
	struct at_exit {
		std::function<void()> f;
		~at_exit() { f(); }
	} answered_on_return{answer_sent};

	http_behaviour b;
	const bool has_b = behaviour_for(rec.path, b);
	if (has_b && !b.raw.empty()) {
		send_all(fd, b.raw, stop_);
		if (b.keep_open_after) hold_open(fd, stop_);
		return;
	}

	int file = -1;
	long long size = 0;
	const bool ok_path = !host.empty() && host.find('/') == std::string::npos && host != ".." &&
	                     !rec.path.empty() && rec.path[0] == '/' && safe_path(rec.path);
	if (ok_path) {
		const std::string full = root_ + host + rec.path;
		file = open(full.c_str(), O_RDONLY | O_CLOEXEC);
		struct stat st;
		if (file >= 0 && (fstat(file, &st) != 0 || !S_ISREG(st.st_mode))) {
			close(file);
			file = -1;
		}
		if (file >= 0) size = st.st_size;
	}
	int status = file >= 0 ? 200 : (ok_path ? 404 : 400);
	if (has_b && b.status) status = b.status;
	std::string text_body;
	if (file < 0) {
		text_body = reason_for(status) + "\n";
		size = (long long)text_body.size();
	}

	std::string resp = b.interim;
	resp += "HTTP/1.1 " + std::to_string(status) + " " + reason_for(status) + "\r\n";
	auto header = [&](const std::string& name, const std::string& value) {
		resp += (b.lower_case_headers ? lower(name) : name) + ": " + value + "\r\n";
	};
	header("Content-Type", "application/octet-stream");
	if (!b.no_length) header("Content-Length", std::to_string(size));
	header("Connection", "close");
	resp += "\r\n";

	long long body_len = size;
	if (b.cut_after >= 0) body_len = std::min(body_len, b.cut_after);
	if (b.stall) body_len = 0;
	if (b.stall_after >= 0) body_len = std::min(body_len, b.stall_after);

	bool sent = send_all(fd, resp, stop_);
	if (sent) {
		if (b.slow_chunk > 0) {
			std::string all = file >= 0 ? read_file_bytes(root_ + host + rec.path) : text_body;
			all.resize((size_t)body_len);
			for (size_t off = 0; sent && off < all.size(); off += (size_t)b.slow_chunk) {
				const size_t n = std::min(all.size() - off, (size_t)b.slow_chunk);
				sent = send_all(fd, all.data() + off, n, stop_);
				if (sent) body_bytes_ += (long long)n;
				if (off + n >= all.size() && b.extra_bytes <= 0) answer_sent();
				for (int waited = 0; sent && waited < b.slow_delay_ms && !stopped(); waited += 5)
					std::this_thread::sleep_for(std::chrono::milliseconds(std::min(5, b.slow_delay_ms - waited)));
			}
		} else if (file >= 0 && rate_.load() > 0 && !has_b) {
			sent = send_paced(fd, file, body_len);
		} else if (file >= 0) {
			sent = send_file_range(fd, file, 0, body_len, stop_);
			if (sent) body_bytes_ += body_len;
		} else {
			sent = send_all(fd, text_body.data(), (size_t)body_len, stop_);
			if (sent) body_bytes_ += body_len;
		}
	}
	if (sent && b.extra_bytes > 0) sent = send_all(fd, std::string((size_t)b.extra_bytes, 'X'), stop_);
	if (sent && b.endless) {
		const std::string more(65536, 'E');
		while (send_all(fd, more, stop_)) body_bytes_ += (long long)more.size();
		sent = false;
	}
	answer_sent();
	if (file >= 0) close(file);
	if (!sent) return;

	if (b.cut_after >= 0 && b.reset_after_cut) {
		linger lg{1, 0};
		setsockopt(fd, SOL_SOCKET, SO_LINGER, &lg, sizeof(lg));
		return;  // closing now sends a reset
	}
	if (b.stall || b.stall_after >= 0 || b.keep_open_after) {
		hold_open(fd, stop_);
		return;
	}
	// Orderly close: finish our side, then wait briefly for the client to go.
	shutdown(fd, SHUT_WR);
	hold_open(fd, stop_);
}

}  // namespace vtest
