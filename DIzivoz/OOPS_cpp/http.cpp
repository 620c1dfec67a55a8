#include "DIzivoz/OOPS_cpp/http.h"

#include <errno.h>
#include <poll.h>
#include <time.h>
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "DIzivoz/Thread/hl_report.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/Sockets/PCSBSocket.h"
#include "DIzivoz/UTL/UTL_xtim.h"

http_class http;
std::vector<std::string> gProxyExclude;

namespace {

const char* const http_src = "DIzivoz/OOPS_cpp/http";
const int err_net_alloc_code = 20009;
const int err_net_no_server_code = 20011;
const char* const product_build_name = "Ventora 9.10r1";

// One receive scratch buffer for every transfer: all polling is on one thread.
const size_t scratch_size = 65536;
char scratch[scratch_size];
const size_t file_buffer_size = 512 << 10;  // body bytes gathered before each write
unsigned long long write_ns = 0;

// File buffers of finished transfers, kept for the next ones: a large block
// allocated and freed per file would make the allocator hand its pages back.
std::vector<std::vector<char>> spare_buffers;

void give_back(std::vector<char>& buf)
{
	if (buf.capacity() == 0) return;
	buf.clear();
	if (spare_buffers.size() < 4) spare_buffers.push_back(std::move(buf));
	std::vector<char>().swap(buf);
}

long long now_ms()
{
	timespec ts;
	clock_gettime(CLOCK_MONOTONIC, &ts);
	return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

long long parse_length(const std::string& v)
{
	// atoi-like: leading blanks, optional sign, digits; anything else gives 0
	return std::strtoll(v.c_str(), nullptr, 10);
}

}  // namespace

// What went wrong with a transfer that ended without its file.
static net_failure describe_failure(down_class& d, bool complete)
{
	net_failure f;
	f.status = d.mStatus > 0 ? d.mStatus : 0;
	f.reason = d.mReason;
	const int sock_err = d.mSocket ? d.mSocket->GetOSError() : 0;
	if (d.mTooBig) {
		f.kind = net_fail_too_big;
	} else if (d.mFileError) {
		f.kind = net_fail_local_file;
		f.os_error = d.mError;
	} else if (d.mError == err_net_no_server_code) {
		f.kind = net_fail_no_server;
	} else if (d.mHeadersDone && (d.mStatus < 200 || d.mStatus > 299)) {
		f.kind = net_fail_answer;
	} else if (d.mHeadersDone && !complete && d.mExpected >= 0 && d.mReceived > d.mExpected) {
		f.kind = net_fail_long;
	} else if (d.mHeadersDone && !complete) {
		f.kind = net_fail_short;
		f.os_error = sock_err;
	} else {
		f.kind = net_fail_connection;
		f.os_error = d.mError ? d.mError : sock_err;
	}
	return f;
}

bool http_header_less::operator()(const std::string& a, const std::string& b) const
{
	return strcasecmp(a.c_str(), b.c_str()) < 0;
}

// ---- one transfer ------------------------------------------------------------

down_class::down_class(const char* server, unsigned short port, const char* path, bool post,
                       std::map<std::string, std::string>* headers, const char* body, int body_length,
                       const char* local)
    : mSocket(nullptr), mHeadersDone(false), mStatus(0), mFd(-1), mError(0), mFileError(false), mExpected(-1),
      mReceived(0), mLastActivity(xtim.elapsed), mHeaderBytes(0), mLimit(-1), mTooBig(false)
{
	mLocalPath = app_path + (local ? local : "");
	const bool proxy = http.UseProxy(server, port);
	const unsigned long addr = PCSBSocket::LookupAddress(proxy ? http.proxy_host.c_str() : server);
	if (addr == 0) {
		xer << "Translated server " << (server ? server : "") << " to IP addy: 0.0.0.0 and port = " << port << "\n";
		mError = err_net_no_server_code;
	} else {
		mStatus = -1;
		mSocket = new PCSBSocket(0, false);
		mSocket->Connect(addr, proxy ? http.ProxyPort(server, port) : port);
	}

	std::string req = post ? "POST " : "GET ";
	if (proxy) {
		req += "http://";
		if (headers) {
			auto h = headers->find("Host");
			if (h != headers->end()) req += h->second;
		}
	}
	for (const char* p = path ? path : ""; *p; ++p) {
		if (*p == ' ')
			req += "%20";
		else
			req += *p;
	}
	req += " HTTP/1.1\r\n";
	if (headers)
		for (const auto& h : *headers) req += h.first + ": " + h.second + "\r\n";
	if (body) req += "Content-Length: " + std::to_string(body_length) + "\r\n";
	req += "\r\n";
	mSendBuf.assign(req.begin(), req.end());
	if (body && body_length > 0) mSendBuf.insert(mSendBuf.end(), body, body + body_length);
}

down_class::~down_class()
{
	close_file();
	// Whether the server's close is already here is learnt with the others kept.
	if (mSocket && mSocket->AwaitingPeerClose() && !mSocket->ReceivedRelease())
		http.park(mSocket);
	else
		delete mSocket;
}

bool down_class::flush_file()
{
	const char* p = mOut.data();
	size_t n = mOut.size();
	while (n > 0) {
		// A file used again is written from its start, where it was left.
		const ssize_t w = mBorrowedFd ? pwrite(mFd, p, n, (off_t)mWritten) : write(mFd, p, n);
		if (w < 0 && errno == EINTR) continue;
		if (w <= 0) {
			if (mError == 0) {
				mError = w < 0 && errno ? errno : EIO;
				mFileError = true;
			}
			mOut.clear();
			return false;
		}
		p += w;
		n -= (size_t)w;
		mWritten += w;
	}
	mOut.clear();
	return true;
}

void down_class::close_file()
{
	if (mFd < 0) return;
	flush_file();
	if (mBorrowedFd) {
		mFd = -1;
		give_back(mOut);
		return;
	}
	if (close(mFd) != 0 && mError == 0) {
		mError = errno ? errno : EIO;
		mFileError = true;
	}
	mFd = -1;
	give_back(mOut);
}

int down_class::release_file()
{
	if (mFd < 0 || !flush_file()) return -1;
	const int fd = mFd;
	if (mBorrowedFd) {
		// What an earlier, longer body left behind goes.
		if (mGivenSize > mWritten && ftruncate(fd, (off_t)mWritten) != 0) {
			if (mError == 0) {
				mError = errno ? errno : EIO;
				mFileError = true;
			}
			return -1;
		}
	}
	mFd = -1;
	give_back(mOut);
	return fd;
}

int down_class::transfer_status()
{
	if (!mSocket) return 0;
	const int s = mSocket->GetStatus();
	if (s == sock_status_created || s == sock_status_connecting) return 1;
	if (s == sock_status_error) return 2;
	if (s == sock_status_closed) return 3;
	if (!mSendBuf.empty()) return 4;
	if (mHeadersDone) return 5;
	return 6;
}

bool down_class::in_error()
{
	return mError != 0 || mSocket == nullptr || mSocket->GetStatus() == sock_status_error;
}

void down_class::write_body(const char* data, size_t len)
{
	mLastActivity = xtim.elapsed;
	mReceived += (long long)len;
	const bool timing = PCSBSocket::CountingReadTime();
	const unsigned long long t0 = timing ? PCSBSocket::ThreadCpuNs() : 0;
	if (mOut.capacity() == 0 && !spare_buffers.empty()) {
		mOut = std::move(spare_buffers.back());
		spare_buffers.pop_back();
	}
	if (mOut.capacity() == 0) mOut.reserve(std::max(file_buffer_size, len));
	if (mOut.size() + len > mOut.capacity() && !mOut.empty()) flush_file();
	if (mError == 0) mOut.insert(mOut.end(), data, data + len);
	if (mOut.size() >= file_buffer_size) flush_file();
	if (timing) write_ns += PCSBSocket::ThreadCpuNs() - t0;
}

void down_class::parse_headers()
{
	while (!mHeadersDone) {
		if (mRecvBuf.size() < 2) break;
		size_t eol = std::string::npos;
		for (size_t i = 0; i + 1 < mRecvBuf.size(); ++i)
			if (mRecvBuf[i] == '\r' && mRecvBuf[i + 1] == '\n') {
				eol = i;
				break;
			}
		if (eol == std::string::npos) break;
		mHeaderBytes += eol + 2;
		if (eol == 0) {
			mRecvBuf.erase(mRecvBuf.begin(), mRecvBuf.begin() + 2);
			if (mStatus >= 200) {
				mHeadersDone = true;
				if (mGivenFd >= 0) {
					// A file of the caller's, used again: written from its start.
					mFd = mGivenFd;
					mBorrowedFd = true;
				} else if (!mLocalPath.empty()) {
					// Readable too: the caller may extract from it without opening it again.
					mFd = open(mLocalPath.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
					if (mFd < 0) {
						mError = errno;
						mFileError = true;
					}
				}
				auto cl = mHeaders.find("Content-Length");
				if (cl != mHeaders.end()) mExpected = parse_length(cl->second);
			} else {
				// An interim block says nothing about the final response: its
				// header lines are dropped.
				mHeaders.clear();
			}
			// After an interim block the final response may already be here.
			continue;
		}
		const std::string line(mRecvBuf.begin(), mRecvBuf.begin() + eol);
		mRecvBuf.erase(mRecvBuf.begin(), mRecvBuf.begin() + eol + 2);
		if (line.compare(0, 5, "HTTP/") == 0 && line.size() >= 14) {
			mStatus = atoi(line.substr(9, 3).c_str());
			mReason = line.substr(13);
		} else {
			const size_t sep = line.find(": ");
			if (sep != std::string::npos) mHeaders.emplace(line.substr(0, sep), line.substr(sep + 2));
		}
	}
	if (!mHeadersDone && (mHeaderBytes + mRecvBuf.size() > http_header_limit) && mError == 0) {
		// Endless header text: give up on the transfer.
		mError = EMSGSIZE;
		mRecvBuf.clear();
		if (mSocket) mSocket->Disconnect();
	}
}

void down_class::DoProcessing()
{
	if (!mSocket) return;
	const int s = mSocket->GetStatus();
	if (s == sock_status_closed || s == sock_status_error) {
		close_file();
		return;
	}
	if (s != sock_status_connected) return;

	if (!mSendBuf.empty()) {
		const long sent = mSocket->http_WriteData(mSendBuf.data(), (long)mSendBuf.size());
		if (sent > 0) mSendBuf.erase(mSendBuf.begin(), mSendBuf.begin() + sent);
	}

	const long got = mSocket->ReadData(scratch, (long)scratch_size);
	if (got <= 0) return;

	const bool direct = mHeadersDone && mRecvBuf.empty();
	if (!direct) {
		mRecvBuf.insert(mRecvBuf.end(), scratch, scratch + got);
		parse_headers();
		if (!mHeadersDone) return;
	}

	mLastActivity = xtim.elapsed;
	const long long pending = direct ? (long long)got : (long long)mRecvBuf.size();
	if (mLimit >= 0 && (mExpected > mLimit || pending + mReceived > mLimit)) {
		// More than the caller can take: nothing more is written.
		mTooBig = true;
		mError = EFBIG;
		mRecvBuf.clear();
		mSocket->Disconnect();
		return;
	}
	if (mExpected != -1 && pending + mReceived >= mExpected) mSocket->Finish();

	if (mFd >= 0 && pending > 0) {
		if (direct)
			write_body(scratch, (size_t)got);
		else
			write_body(mRecvBuf.data(), mRecvBuf.size());
		mRecvBuf.clear();
	} else if (direct) {
		// No file takes the body: it stays in the buffer, where the length
		// check above still counts it.
		mRecvBuf.insert(mRecvBuf.end(), scratch, scratch + got);
	}
}

unsigned long long http_write_time_ns() { return write_ns; }

// ---- the client ----------------------------------------------------------------

http_class::http_class() : proxy_port(0)
{
	for (auto& s : slot) s = nullptr;
	for (int i = 0; i < http_slot_count; ++i) {
		keep_[i] = false;
		kept_fd_[i] = -1;
		limit_[i] = -1;
		given_fd_[i] = -1;
		given_size_[i] = http_size_unknown;
		kept_size_[i] = http_size_unknown;
	}
}

http_class::~http_class()
{
	kill_all();
	for (int& fd : kept_fd_)
		if (fd >= 0) close(fd);
}

void http_class::use_file(int slot_index, int fd, long long size)
{
	if (slot_index < 0 || slot_index >= http_slot_count) {
		if (fd >= 0) close(fd);
		return;
	}
	if (given_fd_[slot_index] >= 0 && given_fd_[slot_index] != fd) close(given_fd_[slot_index]);
	given_fd_[slot_index] = fd;
	given_size_[slot_index] = size;
}

bool http_class::has_file(int slot_index) const
{
	return slot_index >= 0 && slot_index < http_slot_count && given_fd_[slot_index] >= 0;
}

void http_class::drop_file(int slot_index)
{
	if (slot_index < 0 || slot_index >= http_slot_count || given_fd_[slot_index] < 0) return;
	close(given_fd_[slot_index]);
	given_fd_[slot_index] = -1;
}

void http_class::keep_file(int slot_index, bool keep)
{
	if (slot_index >= 0 && slot_index < http_slot_count) keep_[slot_index] = keep;
}

void http_class::limit_body(int slot_index, long long max_bytes)
{
	if (slot_index >= 0 && slot_index < http_slot_count) limit_[slot_index] = max_bytes;
}

void http_class::wait(int max_ms)
{
	// The kept connections are watched too: their servers' closes come in
	// while the loop waits anyway.
	pollfd fds[http_slot_count + http_park_most];
	int n = 0;
	for (down_class* d : slot) {
		if (!d || !d->mSocket || d->mSocket->Descriptor() < 0) continue;
		const int st = d->mSocket->GetStatus();
		if (st == sock_status_closed || st == sock_status_error) return;  // its slot has news now
		fds[n].fd = d->mSocket->Descriptor();
		fds[n].events = (st != sock_status_connected || !d->mSendBuf.empty()) ? POLLOUT : POLLIN;
		fds[n].revents = 0;
		++n;
	}
	if (n == 0) {
		close_parked(false);
		return;
	}
	const size_t kept = parked_.size();
	for (size_t i = 0; i < kept; ++i) {
		fds[n + i].fd = parked_[i].socket->Descriptor();
		fds[n + i].events = POLLIN | POLLRDHUP;
		fds[n + i].revents = 0;
	}
	if (::poll(fds, n + kept, max_ms) < 0) return;
	reap_parked(fds + n, false);
}

unsigned long long http_class::progress() const
{
	unsigned long long sum = 0;
	for (const down_class* d : slot) {
		sum = sum * 31 + (d ? (unsigned long long)d->mReceived : ~0ull);
		if (d)
			sum = (sum * 31 + d->mRecvBuf.size()) * 31 + d->mSendBuf.size() + (unsigned long long)(long long)d->mStatus;
	}
	return sum;
}

int http_class::finished_file(int slot_index, long long* size)
{
	if (slot_index < 0 || slot_index >= http_slot_count) return -1;
	if (size) *size = kept_size_[slot_index];
	const int fd = kept_fd_[slot_index];
	kept_fd_[slot_index] = -1;
	return fd;
}

void http_class::kill_all()
{
	for (auto& s : slot) {
		delete s;
		s = nullptr;
	}
	for (int i = 0; i < http_slot_count; ++i) drop_file(i);
	close_parked(true);
}

void http_class::cancel(int slot_index)
{
	if (slot_index < 0 || slot_index >= http_slot_count) return;
	delete slot[slot_index];
	slot[slot_index] = nullptr;
	drop_file(slot_index);
	close_parked(true);
}

void http_class::park(PCSBSocket* s)
{
	parked_.push_back({s, now_ms() + http_park_ms});
	if (parked_.size() > http_park_most) {
		delete parked_.front().socket;
		parked_.erase(parked_.begin());
	}
}

void http_class::close_parked(bool all)
{
	if (parked_.empty()) return;
	pollfd fds[http_park_most + 1];
	const size_t n = parked_.size();
	for (size_t i = 0; i < n; ++i) {
		fds[i].fd = parked_[i].socket->Descriptor();
		fds[i].events = POLLIN | POLLRDHUP;
		fds[i].revents = 0;
	}
	if (!all && ::poll(fds, n, 0) < 0) return;
	reap_parked(fds, all);
}

void http_class::reap_parked(const pollfd* fds, bool all)
{
	const long long now = now_ms();
	size_t kept = 0;
	for (size_t i = 0; i < parked_.size(); ++i) {
		parked_socket p = parked_[i];
		if (all || p.until <= now || (fds[i].revents && p.socket->PeerClosed()))
			delete p.socket;
		else
			parked_[kept++] = p;
	}
	parked_.resize(kept);
}

size_t http_class::parked_count() const { return parked_.size(); }

bool http_class::UseProxy(const char* server, unsigned short)
{
	// The one place that decides: a port outside 1..65535 means no proxy.
	if (proxy_port < 1 || proxy_port > 65535 || proxy_host.empty()) return false;
	const char* name = server ? server : "";
	const size_t n = strlen(name);
	for (const std::string& ending : gProxyExclude) {
		if (ending.size() > n) continue;
		if (ending.compare(0, std::string::npos, name + n - ending.size()) == 0) return false;
	}
	return true;
}

const char* http_class::ProxyHost(const char* server, unsigned short port)
{
	return UseProxy(server, port) ? proxy_host.c_str() : server;
}

unsigned short http_class::ProxyPort(const char* server, unsigned short port)
{
	return UseProxy(server, port) ? (unsigned short)(proxy_port & 0xFFFF) : port;
}

int http_class::net_check(int slot_index, std::string server, std::string path, const std::string& local)
{
	if (slot_index < 0 || slot_index >= http_slot_count) {
		__MACIBM_alert(0, "Too many download objects requested!", "", "", "", alert_fatal, http_src, 232);
		return net_failed;
	}
	static bool started = false;
	if (!started) {
		started = true;
		// The slots only: a file given for the first transfer stays.
		for (auto& s : slot) {
			delete s;
			s = nullptr;
		}
		PCSBSocket::StartupNetworking(true);
	}

	down_class*& d = slot[slot_index];
	if (d == nullptr) {
		// Looked at in groups when the loop never waits.
		if (parked_.size() >= http_park_check) close_parked(false);
		if (!server.empty() && server.back() == '/') {
			__MACIBM_alert(0, "net_check error! You have a dirchar at the end of the server name!",
			               "You should not!",
			               "Our convention is that a server name is simply a server name... with no slash!",
			               server, alert_fatal, http_src, 247);
			return net_failed;
		}
		if (path.empty() || path[0] != '/') {
			__MACIBM_alert(0, "net_check error! You do not have a dirchar at the beginning of the directory name!",
			               "You should!",
			               "Our convention is that a directory name does start with a slash because it must include the hard drive,which is a dir char on unix!",
			               path, alert_fatal, http_src, 248);
			return net_failed;
		}
		std::map<std::string, std::string> headers;
		headers["Connection"] = "close";
		headers["Host"] = server;
		const std::string build = product_build_name;
		headers["User-agent"] = std::string("Installer-") + "APL/" + build.substr(build.size() - 4);
		last_failure[slot_index] = net_failure();
		d = new down_class(server.c_str(), 80, path.c_str(), false, &headers, nullptr, 0, local.c_str());
		d->mLimit = limit_[slot_index];
		limit_[slot_index] = -1;
		d->mGivenFd = given_fd_[slot_index];
		d->mGivenSize = given_size_[slot_index];
		// Whatever this transfer leaves in it, unless it succeeds.
		given_size_[slot_index] = http_size_unknown;
	}

	d->DoProcessing();

	// Under way while the socket neither closed nor failed and bytes are due;
	// a transfer from which nothing came for too long has stalled.
	const int sock = d->mSocket ? d->mSocket->GetStatus() : sock_status_error;
	if (sock != sock_status_closed && sock != sock_status_error && d->mExpected != d->mReceived && d->mError == 0) {
		if (xtim.elapsed - d->mLastActivity <= http_stall_seconds) return net_busy;
		last_failure[slot_index].kind = net_fail_stalled;
		last_failure[slot_index].status = d->mStatus > 0 ? d->mStatus : 0;
		last_failure[slot_index].reason = d->mReason;
		delete d;
		d = nullptr;
		return net_failed;
	}

	// Only bytes that reached the file count: a late write failure is a failure.
	int kept = -1;
	if (keep_[slot_index])
		kept = d->release_file();
	else
		d->close_file();
	const bool complete = d->mExpected == d->mReceived;
	const bool err = d->in_error();
	if (d->mStatus >= 200 && d->mStatus <= 299 && complete && !err) {
		const long long written = d->mWritten;
		delete d;
		d = nullptr;
		if (kept_fd_[slot_index] >= 0) close(kept_fd_[slot_index]);
		kept_fd_[slot_index] = kept;
		kept_size_[slot_index] = written;
		// A given file goes with the download it holds (or stays for the next one).
		if (kept >= 0 && kept == given_fd_[slot_index]) given_fd_[slot_index] = -1;
		return net_finished;
	}
	if (kept >= 0 && kept != given_fd_[slot_index]) close(kept);

	const int stat = d->transfer_status();
	const int os_err = d->mError ? d->mError : (d->mSocket ? d->mSocket->GetOSError() : err_net_alloc_code);
	xer << "HTTP Error for " << d->mLocalPath << "\n"
	    << "   server     =" << server << "\n"
	    << "   file       =" << path << "\n"
	    << "   IsDone     =" << (stat == 3 ? 1 : 0) << "\n"
	    << "   IsComplete =" << (complete ? 1 : 0) << "\n"
	    << "   IsErr      =" << (err ? 1 : 0) << "\n"
	    << "   GetStat    =" << stat << "\n"
	    << "   GetOSErr   =" << os_err << "\n"
	    << "   response   =" << d->mReason << " (#" << d->mStatus << ")\n\n";
	xer.flush();
	last_failure[slot_index] = describe_failure(*d, complete);
	// What came of an answer too large is no use to anyone.
	if (d->mTooBig && !d->mLocalPath.empty()) unlink(d->mLocalPath.c_str());
	delete d;
	d = nullptr;
	return net_failed;
}
