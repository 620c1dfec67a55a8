// The non-blocking TCP socket on loopback.
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "DIzivoz/Sockets/PCSBSocket.h"

namespace {

const unsigned long kLoopback = htonl(INADDR_LOOPBACK);

// Polls the status until it leaves `from` (or a second passes).
int settle(PCSBSocket& s, int from)
{
	const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
	int st = s.GetStatus();
	while (st == from && std::chrono::steady_clock::now() < until) {
		std::this_thread::sleep_for(std::chrono::milliseconds(1));
		st = s.GetStatus();
	}
	return st;
}

long read_some(PCSBSocket& s, std::string& out, size_t want)
{
	char buf[256];
	const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
	while (out.size() < want && std::chrono::steady_clock::now() < until) {
		const long n = s.ReadData(buf, sizeof(buf));
		if (n < 0) return n;
		out.append(buf, (size_t)n);
	}
	return (long)out.size();
}

struct Pair {
	std::unique_ptr<PCSBSocket> server{new PCSBSocket(0, true)};
	std::unique_ptr<PCSBSocket> client{new PCSBSocket(0, false)};
	std::unique_ptr<PCSBSocket> peer;

	Pair()
	{
		ConnectionData cd;
		server->GetAddresses(&cd);
		EXPECT_EQ(sock_status_created, server->GetStatus());  // listening, nobody waiting
		client->Connect(kLoopback, cd.local_port);
		EXPECT_EQ(sock_status_connected, settle(*client, sock_status_connecting));
		EXPECT_EQ(sock_status_connecting, settle(*server, sock_status_created));
		peer.reset(server->Accept());
		EXPECT_EQ(sock_status_created, server->GetStatus());
	}
};

TEST(NetSocket, ConnectExchangeAndOrderlyClose)
{
	Pair p;
	ASSERT_NE(nullptr, p.peer);
	EXPECT_EQ(sock_status_connected, p.peer->GetStatus());

	char buf[16];
	EXPECT_EQ(0, p.client->ReadData(buf, sizeof(buf)));  // nothing yet: no error
	EXPECT_EQ(sock_status_connected, p.client->GetStatus());

	EXPECT_EQ(5, p.peer->http_WriteData("hello", 5));
	std::string got;
	EXPECT_EQ(5, read_some(*p.client, got, 5));
	EXPECT_EQ("hello", got);

	ConnectionData c, s;
	p.client->GetAddresses(&c);
	p.peer->GetAddresses(&s);
	EXPECT_EQ(INADDR_LOOPBACK, c.local_address);
	EXPECT_EQ(kLoopback, c.remote_address);
	EXPECT_EQ(c.local_port, s.remote_port);
	EXPECT_EQ(c.remote_port, s.local_port);

	// The peer closes after sending: data, then 0 with the release seen, still connected.
	EXPECT_EQ(3, p.peer->http_WriteData("bye", 3));
	p.peer.reset();
	got.clear();
	EXPECT_EQ(3, read_some(*p.client, got, 3));
	const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
	while (!p.client->ReceivedRelease() && std::chrono::steady_clock::now() < until)
		EXPECT_EQ(0, p.client->ReadData(buf, sizeof(buf)));
	EXPECT_TRUE(p.client->ReceivedRelease());
	EXPECT_EQ(sock_status_connected, p.client->GetStatus());

	// After our own release one more read ends it.
	EXPECT_EQ(1, p.client->Release());
	EXPECT_EQ(-1, p.client->ReadData(buf, sizeof(buf)));
	EXPECT_EQ(sock_status_closed, p.client->GetStatus());
}

TEST(NetSocket, RefusedConnectionIsClosedWithItsError)
{
	PCSBSocket unused(0, false);  // bound, not listening
	ConnectionData cd;
	unused.GetAddresses(&cd);
	PCSBSocket client(0, false);
	client.Connect(kLoopback, cd.local_port);
	EXPECT_EQ(sock_status_closed, settle(client, sock_status_connecting));
	EXPECT_EQ(ECONNREFUSED, client.GetOSError());
}

TEST(NetSocket, ConnectionToItselfIsRefusedAndFreesItsPort)
{
	// A client bound to the very port it connects to, where nothing listens:
	// the kernel joins it to itself (a simultaneous open), as a client that
	// happens to get that ephemeral port would be.
	unsigned short port = 0;
	{
		PCSBSocket probe(0, true);  // a free port (a client takes none before it connects)
		ConnectionData cd;
		probe.GetAddresses(&cd);
		port = cd.local_port;
	}
	ASSERT_NE(0, port);
	{
		PCSBSocket client(port, false);
		ASSERT_EQ(sock_status_created, client.GetStatus());
		client.Connect(kLoopback, port);
		EXPECT_EQ(sock_status_closed, settle(client, sock_status_connecting));
		EXPECT_EQ(ECONNREFUSED, client.GetOSError());
	}
	// The server that owns the port can take it again at once.
	PCSBSocket server(port, true);
	EXPECT_EQ(sock_status_created, server.GetStatus());
	EXPECT_EQ(0, server.GetOSError());
}

TEST(NetSocket, SendAfterOwnReleaseIsBrokenPipeError)
{
	Pair p;
	EXPECT_EQ(1, p.client->Release());
	testing::internal::CaptureStderr();
	EXPECT_EQ(-1, p.client->http_WriteData("x", 1));
	const std::string err = testing::internal::GetCapturedStderr();
	EXPECT_EQ(sock_status_error, p.client->GetStatus());
	EXPECT_EQ(EPIPE, p.client->GetOSError());
	EXPECT_EQ("LINUX: NET: Some sort of error while sending! " + std::to_string(EPIPE) + "\n", err);
}

TEST(NetSocket, ResetByPeerEndsConnectionWithoutError)
{
	// A plain listener, so the peer can abort with a zero linger.
	const int lfd = socket(AF_INET, SOCK_STREAM, 0);
	sockaddr_in addr{};
	addr.sin_family = AF_INET;
	addr.sin_addr.s_addr = kLoopback;
	ASSERT_EQ(0, bind(lfd, (sockaddr*)&addr, sizeof(addr)));
	ASSERT_EQ(0, listen(lfd, 1));
	socklen_t len = sizeof(addr);
	getsockname(lfd, (sockaddr*)&addr, &len);

	PCSBSocket client(0, false);
	client.Connect(kLoopback, ntohs(addr.sin_port));
	ASSERT_EQ(sock_status_connected, settle(client, sock_status_connecting));
	const int peer = accept(lfd, nullptr, nullptr);
	ASSERT_GE(peer, 0);
	linger lg{1, 0};
	setsockopt(peer, SOL_SOCKET, SO_LINGER, &lg, sizeof(lg));
	close(peer);
	close(lfd);

	char buf[16];
	long n = 0;
	const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
	while (n == 0 && std::chrono::steady_clock::now() < until) n = client.ReadData(buf, sizeof(buf));
	EXPECT_EQ(-1, n);
	EXPECT_EQ(sock_status_closed, client.GetStatus());
	EXPECT_EQ(ECONNRESET, client.GetOSError());
}

TEST(NetSocket, StatusWithoutConnectAndDisconnect)
{
	PCSBSocket s(0, false);
	EXPECT_EQ(sock_status_created, s.GetStatus());
	s.Disconnect();
	EXPECT_EQ(sock_status_closed, s.GetStatus());

	// A listener with nobody waiting accepts nothing and keeps listening.
	PCSBSocket listener(0, true);
	EXPECT_EQ(nullptr, listener.Accept());
	EXPECT_EQ(sock_status_created, listener.GetStatus());
}

TEST(NetSocket, LookupAddress)
{
	EXPECT_EQ(kLoopback, PCSBSocket::LookupAddress("127.0.0.1"));
	EXPECT_EQ(inet_addr("10.1.2.3"), PCSBSocket::LookupAddress("10.1.2.3"));
	// Names go to the resolver (localhost comes from the hosts file) ...
	EXPECT_EQ(kLoopback, PCSBSocket::LookupAddress("localhost"));
	// ... except ".invalid" ones, which fail at once, without asking a name server.
	for (const char* name : {"nowhere.invalid", "a.b.INVALID.", "", "invalid"})
		EXPECT_EQ(0ul, PCSBSocket::LookupAddress(name)) << name;
}

// A client reserves no port before it connects: the port is chosen for the
// address pair at connect, so ports still held by ended connections to other
// places do not run out.
TEST(NetSocket, ClientTakesItsPortAtConnect)
{
	PCSBSocket server(0, true);
	ConnectionData srv;
	server.GetAddresses(&srv);
	PCSBSocket client(0, false);
	ConnectionData cd;
	client.GetAddresses(&cd);
	EXPECT_EQ(0, cd.local_port);
	client.Connect(kLoopback, srv.local_port);
	EXPECT_EQ(sock_status_connected, settle(client, sock_status_connecting));
	client.GetAddresses(&cd);
	EXPECT_NE(0, cd.local_port);
	EXPECT_EQ(srv.local_port, cd.remote_port);
}

TEST(NetSocket, BindConflictIsError)
{
	PCSBSocket first(0, true);
	ConnectionData cd;
	first.GetAddresses(&cd);
	testing::internal::CaptureStderr();
	PCSBSocket second(cd.local_port, false);
	const std::string err = testing::internal::GetCapturedStderr();
	EXPECT_EQ(sock_status_error, second.GetStatus());
	EXPECT_EQ(EADDRINUSE, second.GetOSError());
	EXPECT_EQ("LINUX: NET: I could not even bind the socket! Uh-oh!\n", err);
}

}  // namespace

namespace {

// Programs the installer launches must not inherit its connections.
TEST(NetSocket, SocketsAreCloseOnExec)
{
	Pair p;
	ASSERT_NE(nullptr, p.peer);
	int sockets = 0;
	for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
		std::error_code ec;
		const std::string target = std::filesystem::read_symlink(e.path(), ec).string();
		if (ec || target.compare(0, 7, "socket:") != 0) continue;
		const int fd = std::stoi(e.path().filename().string());
		++sockets;
		EXPECT_TRUE(fcntl(fd, F_GETFD) & FD_CLOEXEC) << fd;
	}
	EXPECT_GE(sockets, 3);
}

}  // namespace
