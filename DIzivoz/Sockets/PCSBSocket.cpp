#include "DIzivoz/Sockets/PCSBSocket.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

#ifndef IP_BIND_ADDRESS_NO_PORT
#define IP_BIND_ADDRESS_NO_PORT 24
#endif
#include <cstring>
#include <string>

namespace {

std::atomic<bool> count_reads{false};
std::atomic<unsigned long long> read_ns{0};

unsigned long long thread_cpu_ns()
{
	timespec ts;
	clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
	return (unsigned long long)ts.tv_sec * 1000000000ull + (unsigned long long)ts.tv_nsec;
}

bool connection_ending(int err)
{
	switch (err) {
	case ECONNABORTED:
	case ECONNREFUSED:
	case ECONNRESET:
	case EHOSTUNREACH:
	case ENETDOWN:
	case ENETRESET:
	case ENETUNREACH:
	case ETIMEDOUT:
		return true;
	default:
		return false;
	}
}

bool would_block(int err) { return err == EWOULDBLOCK || err == EAGAIN; }

void set_nonblocking(int fd)
{
	int flags = fcntl(fd, F_GETFL, 0);
	if (flags != -1) fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

// Names under ".invalid" never resolve anywhere; answering at once keeps such
// look-ups off the network and free of resolver time-outs. Other reserved
// names (".test", ".local") may be mapped locally, so they go to the resolver.
bool invalid_name(const std::string& name)
{
	std::string n = name;
	while (!n.empty() && n.back() == '.') n.pop_back();
	const char* const tld = "invalid";
	const size_t len = strlen(tld);
	if (n.size() == len && strcasecmp(n.c_str(), tld) == 0) return true;
	return n.size() > len && n[n.size() - len - 1] == '.' && strcasecmp(n.c_str() + n.size() - len, tld) == 0;
}

// A connection whose two ends are one address and port is this socket
// talking to itself (a simultaneous open onto its own ephemeral port, when
// nothing listens there): no peer will ever answer, and it holds the port
// a server may be about to take again.
bool connected_to_itself(int fd)
{
	sockaddr_in local, remote;
	socklen_t ll = sizeof(local), rl = sizeof(remote);
	if (getsockname(fd, (sockaddr*)&local, &ll) != 0 || getpeername(fd, (sockaddr*)&remote, &rl) != 0) return false;
	return local.sin_family == AF_INET && remote.sin_family == AF_INET && local.sin_port == remote.sin_port &&
	       local.sin_addr.s_addr == remote.sin_addr.s_addr;
}

}  // namespace

int printf_null(char*, ...) { return 0; }

PCSBSocket::PCSBSocket(unsigned short port, bool server)
    : mSocket(-1), mStatus(sock_status_created), mOSError(0), mReceivedRelease(false),
      mSentRelease(false), mServer(false)
{
	mSocket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
	if (mSocket == -1) {
		mOSError = errno;
		fprintf(stderr, "LINUX: NET: I could not even create the socket! Uh-oh!\n");
		mStatus = sock_status_error;
		return;
	}
	int one = 1;
	if (setsockopt(mSocket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one)) != 0)
		printf("-----------------------Could not set TCP_NODELAY on port %d-------------\n", (int)port);
	if (server) setsockopt(mSocket, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
	// A client bound to any port gets its port at connect, chosen by the
	// whole address pair: a bind that reserves one searches every port still
	// held by earlier connections, and runs out of them.
	if (!server && port == 0) setsockopt(mSocket, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &one, sizeof(one));

	sockaddr_in addr;
	memset(&addr, 0, sizeof(addr));
	addr.sin_family = AF_INET;
	addr.sin_addr.s_addr = htonl(INADDR_ANY);
	addr.sin_port = htons(port);
	if (bind(mSocket, (sockaddr*)&addr, sizeof(addr)) != 0) {
		mOSError = errno;
		fprintf(stderr, "LINUX: NET: I could not even bind the socket! Uh-oh!\n");
		mStatus = sock_status_error;
		return;
	}
	if (server) {
		mServer = true;
		if (listen(mSocket, 128) != 0) {
			mOSError = errno;
			fprintf(stderr, "LINUX: NET: I could not start listening! Uh-oh!\n");
			mStatus = sock_status_error;
		}
	}
}

PCSBSocket::PCSBSocket(int descriptor)
    : mSocket(descriptor), mStatus(sock_status_connected), mOSError(0), mReceivedRelease(false),
      mSentRelease(false), mServer(false)
{
	set_nonblocking(mSocket);
	fcntl(mSocket, F_SETFD, FD_CLOEXEC);
}

PCSBSocket::~PCSBSocket()
{
	if (mSocket != -1) {
		if (!mShutDown && !mAwaitPeerClose) shutdown(mSocket, SHUT_RDWR);
		close(mSocket);
	}
}

void PCSBSocket::Connect(unsigned long address, unsigned short port)
{
	mStatus = sock_status_connecting;
	sockaddr_in addr;
	memset(&addr, 0, sizeof(addr));
	addr.sin_family = AF_INET;
	addr.sin_addr.s_addr = (in_addr_t)address;
	addr.sin_port = htons(port);
	if (connect(mSocket, (sockaddr*)&addr, sizeof(addr)) == 0) {
		mStatus = sock_status_connected;
		RefuseSelfConnection();
		return;
	}
	const int err = errno;
	if (err == EINPROGRESS || would_block(err)) return;
	fprintf(stderr, "LINUX: NET: Some sort of connect error! %d\n", err);
	mStatus = sock_status_error;
	mOSError = err;
}

int PCSBSocket::GetStatus()
{
	const bool listening = mServer && mStatus == sock_status_created;
	const bool connecting = !mServer && mStatus == sock_status_connecting;
	if (!listening && !connecting) return mStatus;

	pollfd p;
	p.fd = mSocket;
	p.events = listening ? POLLIN : POLLOUT;
	p.revents = 0;
	const int n = poll(&p, 1, 0);
	if (n == 0) return mStatus;
	if (n < 0) {
		const int err = errno;
		if (err == EINTR) return mStatus;
		if (listening)
			fprintf(stderr, "LINUX: NET: Some sort of socket error! %d\n", err);
		else
			fprintf(stderr, "LINUX: NET: Some sort of socket error while connecting! %d (errno=%d sock=%d)\n",
			        n, err, mSocket);
		mStatus = sock_status_error;
		mOSError = err;
		return mStatus;
	}
	if (listening) {
		mStatus = (p.revents & POLLIN) ? sock_status_connecting : sock_status_closed;
		return mStatus;
	}
	// The connection attempt is over: its outcome is in SO_ERROR.
	int soerr = 0;
	socklen_t len = sizeof(soerr);
	if (getsockopt(mSocket, SOL_SOCKET, SO_ERROR, &soerr, &len) != 0) soerr = errno;
	if (soerr == 0 && (p.revents & POLLOUT) && !(p.revents & (POLLERR | POLLHUP))) {
		mStatus = sock_status_connected;
		RefuseSelfConnection();
	} else {
		mStatus = sock_status_closed;
		mOSError = soerr ? soerr : ECONNREFUSED;
	}
	return mStatus;
}

long PCSBSocket::ReadData(void* buffer, long size)
{
	if (size <= 0) return 0;
	const bool timing = count_reads.load(std::memory_order_relaxed);
	const unsigned long long t0 = timing ? thread_cpu_ns() : 0;
	const ssize_t got = recv(mSocket, buffer, (size_t)size, 0);
	const int err = errno;
	if (timing) read_ns.fetch_add(thread_cpu_ns() - t0, std::memory_order_relaxed);
	if (got > 0) return (long)got;
	if (got == 0) {
		mReceivedRelease = true;
		if (!mSentRelease) return 0;
		mStatus = sock_status_closed;
		return -1;
	}
	if (would_block(err) || err == EINTR) return 0;
	if (connection_ending(err)) {
		mStatus = sock_status_closed;
		mOSError = err;
		return -1;
	}
	fprintf(stderr, "LINUX: NET: Some sort of error while recving! %d\n", err);
	mStatus = sock_status_error;
	mOSError = err;
	return -1;
}

long PCSBSocket::http_WriteData(const void* data, long size)
{
	if (size <= 0) return 0;
	// MSG_NOSIGNAL: a closed peer is an EPIPE error here, never a signal.
	const ssize_t sent = send(mSocket, data, (size_t)size, MSG_NOSIGNAL);
	if (sent >= 0) return (long)sent;
	const int err = errno;
	if (would_block(err) || err == EINTR) return 0;
	if (connection_ending(err)) {
		mStatus = sock_status_closed;
		mOSError = err;
		return -1;
	}
	fprintf(stderr, "LINUX: NET: Some sort of error while sending! %d\n", err);
	mStatus = sock_status_error;
	mOSError = err;
	return -1;
}

void PCSBSocket::RefuseSelfConnection()
{
	if (!connected_to_itself(mSocket)) return;
	// Closed now with a reset, so the port is free at once (no orderly close
	// that would keep it); an unconnected socket takes the descriptor's place.
	linger l;
	l.l_onoff = 1;
	l.l_linger = 0;
	setsockopt(mSocket, SOL_SOCKET, SO_LINGER, &l, sizeof(l));
	close(mSocket);
	mSocket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
	mStatus = sock_status_closed;
	mOSError = ECONNREFUSED;
}

void PCSBSocket::Finish()
{
	mStatus = sock_status_closed;
	mAwaitPeerClose = true;
}

bool PCSBSocket::PeerClosed()
{
	char buf[4096];
	for (int i = 0; i < 64; ++i) {
		const ssize_t got = recv(mSocket, buf, sizeof(buf), MSG_DONTWAIT);
		if (got == 0) return true;
		if (got < 0) return !(would_block(errno) || errno == EINTR);
	}
	return false;  // still sending; its owner's time bound decides
}

void PCSBSocket::Disconnect()
{
	mShutDown = shutdown(mSocket, SHUT_RDWR) == 0;
	mStatus = sock_status_closed;
}

int PCSBSocket::Release()
{
	if (shutdown(mSocket, SHUT_WR) != 0) {
		mOSError = errno;
		mStatus = sock_status_error;
		return mOSError;
	}
	mSentRelease = true;
	return 1;
}

PCSBSocket* PCSBSocket::Accept()
{
	const int fd = accept4(mSocket, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
	mStatus = sock_status_created;
	if (fd == -1) return nullptr;
	return new PCSBSocket(fd);
}

void PCSBSocket::GetAddresses(ConnectionData* out)
{
	sockaddr_in local, remote;
	memset(&local, 0, sizeof(local));
	memset(&remote, 0, sizeof(remote));
	socklen_t len = sizeof(local);
	getsockname(mSocket, (sockaddr*)&local, &len);
	len = sizeof(remote);
	getpeername(mSocket, (sockaddr*)&remote, &len);
	out->local_address = ntohl(local.sin_addr.s_addr);
	out->local_port = ntohs(local.sin_port);
	out->remote_address = remote.sin_addr.s_addr;
	out->remote_port = ntohs(remote.sin_port);
}

unsigned long PCSBSocket::LookupAddress(const char* name)
{
	if (name == nullptr || *name == 0) return 0;
	in_addr a;
	if (inet_pton(AF_INET, name, &a) == 1) return a.s_addr;
	if (invalid_name(name)) return 0;
	addrinfo hints;
	memset(&hints, 0, sizeof(hints));
	hints.ai_family = AF_INET;
	hints.ai_socktype = SOCK_STREAM;
	addrinfo* res = nullptr;
	if (getaddrinfo(name, nullptr, &hints, &res) != 0 || res == nullptr) return 0;
	const unsigned long out = ((sockaddr_in*)res->ai_addr)->sin_addr.s_addr;
	freeaddrinfo(res);
	return out;
}

int PCSBSocket::StartupNetworking(bool) { return 1; }
void PCSBSocket::ShutdownNetworking(bool) {}

void PCSBSocket::CountReadTime(bool on)
{
	if (on) read_ns = 0;
	count_reads = on;
}

unsigned long long PCSBSocket::ReadTimeNs() { return read_ns.load(); }
bool PCSBSocket::CountingReadTime() { return count_reads.load(std::memory_order_relaxed); }
unsigned long long PCSBSocket::ThreadCpuNs() { return thread_cpu_ns(); }
