#pragma once
// Polled HTTP/1.1 GET-to-file client: six transfer slots, an optional proxy
// and a stall time-out on the frame clock. No threads: the caller polls a
// slot once per frame until it reports done or failed.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

class PCSBSocket;

// Header names compare without regard to letter case.
struct http_header_less {
	bool operator()(const std::string& a, const std::string& b) const;
};
typedef std::map<std::string, std::string, http_header_less> http_header_map;

// Server-name endings reached directly even when a proxy is set.
extern std::vector<std::string> gProxyExclude;

enum { net_busy = 0, net_finished = 1, net_failed = 2 };

// Why the last transfer of a slot failed; kept until the slot's next
// transfer starts, so the caller can tell the user and choose its reaction
// (a local file error is no network failure).
enum {
	net_fail_none = 0,
	net_fail_answer,      // the server answered, but not with the file (status and reason)
	net_fail_no_server,   // the server's name was not found
	net_fail_connection,  // no connection, or it broke (os_error)
	net_fail_short,       // the answer ended before its length
	net_fail_stalled,     // nothing arrived for the stall time
	net_fail_local_file,  // the local file could not be opened or written (os_error)
};
struct net_failure {
	int kind = net_fail_none;
	int status = 0;      // status code of the answer, 0 when none came
	std::string reason;  // its reason phrase
	int os_error = 0;    // errno of the connection or of the local file
};

const int http_slot_count = 6;
const long long http_size_unknown = 1ll << 62;
const float http_stall_seconds = 30.0f;
const size_t http_header_limit = 65536;  // bytes of response header text accepted
// A finished transfer's connection is kept until the server has closed it,
// at most this long and this many at a time, then closed anyway.
const long long http_park_ms = 1000;
const size_t http_park_most = 32;
const size_t http_park_check = 8;

// One transfer.
class down_class {
public:
	down_class(const char* server, unsigned short port, const char* path, bool post,
	           std::map<std::string, std::string>* headers, const char* body, int body_length,
	           const char* local);
	~down_class();

	down_class(const down_class&) = delete;
	down_class& operator=(const down_class&) = delete;

	void DoProcessing();  // one poll step

	// Derived transfer status for the failure log: 0 no socket, 1 connecting,
	// 2 socket error, 3 closed, 4 sending, 5 receiving the body, 6 waiting
	// for the headers.
	int transfer_status();
	bool in_error();  // a stored error, no socket, or a socket in error
	// Closes the output file; a failure to get the buffered bytes to disk
	// becomes the transfer's error.
	void close_file();
	// Writes out what the buffer holds; false (and the transfer's error set) on failure.
	bool flush_file();
	// The output file's descriptor, flushed, for the caller to own; -1 when none.
	int release_file();

	PCSBSocket* mSocket;
	std::vector<char> mSendBuf;
	std::vector<char> mRecvBuf;
	bool mHeadersDone;
	int mStatus;  // 0 at creation, -1 once the socket exists, then the last status code
	std::string mReason;
	http_header_map mHeaders;  // first value stored for a name wins
	int mFd;                 // output file, -1 before the headers or without one
	std::vector<char> mOut;  // body bytes not yet written to it
	std::string mLocalPath;
	int mError;
	bool mFileError;      // mError came from the local file, not the network
	long long mExpected;  // from Content-Length, -1 when unknown
	long long mReceived;  // body bytes written so far
	float mLastActivity;  // frame-clock seconds
	size_t mHeaderBytes;  // header text consumed so far
	int mGivenFd = -1;         // the caller's file to write the body into, instead of the local path
	long long mGivenSize = 0;  // its length before
	long long mWritten = 0;    // body bytes written to the file
	bool mBorrowedFd = false;  // mFd is that file: never closed here

private:
	void parse_headers();
	void write_body(const char* data, size_t len);
};

class http_class {
public:
	http_class();
	~http_class();

	std::string proxy_host;
	std::string proxy_port_text;  // as typed in the preferences window; never read here
	int proxy_port;               // 0 (or anything outside 1..65535) means no proxy
	down_class* slot[http_slot_count];
	net_failure last_failure[http_slot_count];

	// 0 busy, 1 done (the file is complete at local), 2 failed.
	int net_check(int slot_index, std::string server, std::string path, const std::string& local);

	bool UseProxy(const char* server, unsigned short port);
	const char* ProxyHost(const char* server, unsigned short port);
	unsigned short ProxyPort(const char* server, unsigned short port);

	// Ends every running transfer and frees the slots (leaves the proxy alone).
	void kill_all();
	// Ends the transfer of one slot, so a late answer cannot land in its file.
	void cancel(int slot_index);

	// Keeps the connection of a finished transfer (owned from now on) until
	// its server closes it, so the closing side's wait, and the port it
	// holds, stay with the server.
	void park(PCSBSocket* s);
	// Closes the kept connections the server has closed, and those kept too
	// long; with all, every one.
	void close_parked(bool all);
	size_t parked_count() const;

	// With keep set, the file of the slot's next finished transfer stays
	// open for reading and finished_file hands its descriptor over once (the
	// caller closes it); -1 when there is none. Saves opening it again.
	void keep_file(int slot_index, bool keep);
	// size: the file's length (http_size_unknown when not known).
	int finished_file(int slot_index, long long* size = nullptr);

	// The slot's transfers write into this open file (owned from now on)
	// instead of creating their local path: from its start, cut to the
	// body's length once complete when it was longer (size: its length). The transfer that finishes hands it over
	// with finished_file; a failed one leaves it for the next. The local path
	// still names the download in the failure log.
	void use_file(int slot_index, int fd, long long size = http_size_unknown);
	bool has_file(int slot_index) const;
	void drop_file(int slot_index);  // closes it

	// Waits up to max_ms for any running transfer to have something to do,
	// rather than asking every socket again at once.
	void wait(int max_ms);
	// Changes whenever a running transfer moves on (bytes in or out, a status).
	unsigned long long progress() const;

private:
	// Closes the kept connections whose poll record (fds, one per kept
	// connection, in order) shows their server's close, and the overdue.
	void reap_parked(const struct pollfd* fds, bool all);
	struct parked_socket {
		PCSBSocket* socket;
		long long until;  // monotonic ms
	};
	std::vector<parked_socket> parked_;
	bool keep_[http_slot_count];
	int kept_fd_[http_slot_count];
	int given_fd_[http_slot_count];
	long long given_size_[http_slot_count];
	long long kept_size_[http_slot_count];
};

extern http_class http;

// CPU time spent writing downloaded bodies to their files while the socket
// layer counts its read time (PCSBSocket::CountReadTime); the benchmark reads it.
unsigned long long http_write_time_ns();
