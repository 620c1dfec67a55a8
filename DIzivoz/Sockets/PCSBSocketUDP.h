#pragma once
// One IPv4 datagram socket bound to a local port.
#include <netinet/in.h>

const int udp_buffer_size_snd = 16384;
const int udp_buffer_size_rcv = 65536;

enum { udp_mode_blocking = 1, udp_mode_nonblocking = 2 };

class PCSBSocketUDP {
public:
	PCSBSocketUDP();
	virtual ~PCSBSocketUDP();

	PCSBSocketUDP(const PCSBSocketUDP&) = delete;
	PCSBSocketUDP& operator=(const PCSBSocketUDP&) = delete;

	int udp_init(unsigned short port, int mode);  // 1 ready, 0 failed; mode 2 non-blocking
	void Cleanup();
	void size_buffer();
	// address and port in host byte order; returns bytes sent or -1
	long udp_WriteData(void* data, long length, unsigned long address, unsigned short port);
	// one datagram of at most size bytes; sender in host byte order; bytes or -1
	long ReadData(void* buffer, long size, unsigned long* from_address, unsigned short* from_port);

	int descriptor() const { return mWinSocket; }

private:
	int mWinSocket;
	sockaddr_in mLocalAddr;
};
