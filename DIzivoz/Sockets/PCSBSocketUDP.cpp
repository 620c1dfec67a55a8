#include "DIzivoz/Sockets/PCSBSocketUDP.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "DIzivoz/Thread/hl_report.h"

namespace {
const char* const udp_src_lin = "DIzivoz/Sockets/PCSBSocketUDP.lin";
const char* const udp_src = "DIzivoz/Sockets/PCSBSocketUDP";
}  // namespace

PCSBSocketUDP::PCSBSocketUDP() : mWinSocket(-1) { memset(&mLocalAddr, 0, sizeof(mLocalAddr)); }

PCSBSocketUDP::~PCSBSocketUDP() { Cleanup(); }

void PCSBSocketUDP::Cleanup()
{
	if (mWinSocket != -1) close(mWinSocket);
	mWinSocket = -1;
}

int PCSBSocketUDP::udp_init(unsigned short port, int mode)
{
	Cleanup();
	memset(&mLocalAddr, 0, sizeof(mLocalAddr));
	mLocalAddr.sin_family = AF_INET;
	mLocalAddr.sin_port = htons(port);
	mLocalAddr.sin_addr.s_addr = htonl(INADDR_ANY);

	const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
	if (fd == -1) return 0;
	if (bind(fd, (sockaddr*)&mLocalAddr, sizeof(mLocalAddr)) != 0) {
		close(fd);
		return 0;
	}
	if (mode == udp_mode_nonblocking) {
		const int flags = fcntl(fd, F_GETFL, 0);
		if (flags == -1 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) == -1) {
			__MACIBM_alert(0, "Could not set net to non-blocking!", "", "", "", alert_warning, udp_src_lin, 62);
			close(fd);
			return 0;
		}
	}
	mWinSocket = fd;
	size_buffer();
	return 1;
}

void PCSBSocketUDP::size_buffer()
{
	int snd = udp_buffer_size_snd;
	int rcv = udp_buffer_size_rcv;
	socklen_t len = sizeof(int);
	if (setsockopt(mWinSocket, SOL_SOCKET, SO_SNDBUF, &snd, sizeof(snd)) != 0)
		__MACIBM_alert(0, "Could not set socket size!", "", "", "", alert_fatal, udp_src, 91);
	if (setsockopt(mWinSocket, SOL_SOCKET, SO_RCVBUF, &rcv, sizeof(rcv)) != 0)
		__MACIBM_alert(0, "Could not set socket size!", "", "", "", alert_fatal, udp_src, 93);
	len = sizeof(int);
	if (getsockopt(mWinSocket, SOL_SOCKET, SO_SNDBUF, &snd, &len) != 0)
		__MACIBM_alert(0, "Could not set socket size!", "", "", "", alert_fatal, udp_src, 92);
	len = sizeof(int);
	if (getsockopt(mWinSocket, SOL_SOCKET, SO_RCVBUF, &rcv, &len) != 0)
		__MACIBM_alert(0, "Could not set socket size!", "", "", "", alert_fatal, udp_src, 94);
}

long PCSBSocketUDP::udp_WriteData(void* data, long length, unsigned long address, unsigned short port)
{
	if (mWinSocket == -1 || length < 0) return -1;
	sockaddr_in to;
	memset(&to, 0, sizeof(to));
	to.sin_family = AF_INET;
	to.sin_addr.s_addr = htonl((uint32_t)address);
	to.sin_port = htons(port);
	return (long)sendto(mWinSocket, data, (size_t)length, MSG_NOSIGNAL, (sockaddr*)&to, sizeof(to));
}

long PCSBSocketUDP::ReadData(void* buffer, long size, unsigned long* from_address, unsigned short* from_port)
{
	if (mWinSocket == -1) {
		__MACIBM_alert(0, "Bad mWinSocket!", "", "", "", alert_fatal, udp_src_lin, 102);
		return -1;
	}
	if (size < 0) return -1;
	sockaddr_in from;
	memset(&from, 0, sizeof(from));
	socklen_t len = sizeof(from);
	const ssize_t got = recvfrom(mWinSocket, buffer, (size_t)size, 0, (sockaddr*)&from, &len);
	if (got < 0) return -1;
	if (from_address) *from_address = ntohl(from.sin_addr.s_addr);
	if (from_port) *from_port = ntohs(from.sin_port);
	return (long)got;
}
