#pragma once
// One non-blocking IPv4 TCP socket behind a small state machine that its
// owner polls. Nothing blocks: connect, send and receive return at once and
// GetStatus advances a pending connection with a poll that does not wait.

// What GetAddresses reports of the two ends of a connection.
struct ConnectionData {
	unsigned long local_address;   // host byte order
	unsigned short local_port;
	unsigned long remote_address;  // network byte order, as the peer query gives it
	unsigned short remote_port;
};

enum {
	sock_status_created = 1,     // client not connecting, or server listening
	sock_status_connecting = 2,  // client connecting, or a connection waits (server)
	sock_status_connected = 3,
	sock_status_closed = 4,
	sock_status_error = 5
};

class PCSBSocket {
public:
	PCSBSocket(unsigned short port, bool server);
	explicit PCSBSocket(int descriptor);
	virtual ~PCSBSocket();

	PCSBSocket(const PCSBSocket&) = delete;
	PCSBSocket& operator=(const PCSBSocket&) = delete;

	void Connect(unsigned long address, unsigned short port);  // address in network byte order
	int GetStatus();
	int Descriptor() const { return mSocket; }
	int GetOSError() { return mOSError; }
	bool ReceivedRelease() { return mReceivedRelease; }
	long ReadData(void* buffer, long size);
	long http_WriteData(const void* data, long size);
	void Disconnect();
	// Done with the connection, like Disconnect, but nothing is shut: the
	// peer, told "Connection: close", closes first, so the wait after the
	// close stays on its side. The owner keeps the socket until PeerClosed
	// (or a time bound of its own) before deleting it.
	void Finish();
	bool AwaitingPeerClose() const { return mAwaitPeerClose; }
	// Reads and drops what is left; true once the peer has closed (or the
	// connection failed).
	bool PeerClosed();
	int Release();
	PCSBSocket* Accept();
	void GetAddresses(ConnectionData* out);

	static unsigned long LookupAddress(const char* name);
	static int StartupNetworking(bool);
	static void ShutdownNetworking(bool);

	// CPU time spent inside receive calls, summed over all sockets while
	// counting is on (off by default; the download benchmark reads it).
	static void CountReadTime(bool on);
	static unsigned long long ReadTimeNs();
	static bool CountingReadTime();
	static unsigned long long ThreadCpuNs();

private:
	// A connection to itself counts as refused (status closed, ECONNREFUSED).
	void RefuseSelfConnection();

	int mSocket;
	int mStatus;
	int mOSError;
	bool mReceivedRelease;
	bool mSentRelease;
	bool mServer;
	bool mShutDown = false;  // both directions already shut
	bool mAwaitPeerClose = false;  // Finish was called
};

// Sink for diagnostic printing that is switched off.
int printf_null(char*, ...);
