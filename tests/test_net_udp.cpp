// The datagram socket on loopback.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/Sockets/PCSBSocketUDP.h"

namespace {

unsigned short port_of(const PCSBSocketUDP& s)
{
	sockaddr_in a;
	socklen_t len = sizeof(a);
	getsockname(s.descriptor(), (sockaddr*)&a, &len);
	return ntohs(a.sin_port);
}

long read_waiting(PCSBSocketUDP& s, char* buf, long size, unsigned long* from, unsigned short* port)
{
	const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
	long n = -1;
	while (n < 0 && std::chrono::steady_clock::now() < until) {
		n = s.ReadData(buf, size, from, port);
		if (n < 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
	}
	return n;
}

TEST(NetUdp, DatagramsOnLoopbackAndShortBuffer)
{
	PCSBSocketUDP a, b;
	ASSERT_EQ(1, a.udp_init(0, udp_mode_nonblocking));
	ASSERT_EQ(1, b.udp_init(0, udp_mode_nonblocking));

	char buf[64];
	unsigned long from = 0;
	unsigned short from_port = 0;
	EXPECT_EQ(-1, b.ReadData(buf, sizeof(buf), &from, &from_port));  // nothing waiting

	std::string msg = "position report";
	EXPECT_EQ((long)msg.size(), a.udp_WriteData(&msg[0], (long)msg.size(), INADDR_LOOPBACK, port_of(b)));
	ASSERT_EQ((long)msg.size(), read_waiting(b, buf, sizeof(buf), &from, &from_port));
	EXPECT_EQ(msg, std::string(buf, msg.size()));
	EXPECT_EQ((unsigned long)INADDR_LOOPBACK, from);
	EXPECT_EQ(port_of(a), from_port);

	// A datagram larger than the buffer is cut; the rest is gone.
	std::string big(1000, 'q');
	big[4] = 'E';
	EXPECT_EQ(1000, a.udp_WriteData(&big[0], 1000, INADDR_LOOPBACK, port_of(b)));
	EXPECT_EQ(5, read_waiting(b, buf, 5, &from, &from_port));
	EXPECT_EQ("qqqqE", std::string(buf, 5));
	EXPECT_EQ(-1, b.ReadData(buf, sizeof(buf), &from, &from_port));

	// The buffers were sized (the kernel reports at least what was asked).
	int rcv = 0;
	socklen_t len = sizeof(rcv);
	getsockopt(b.descriptor(), SOL_SOCKET, SO_RCVBUF, &rcv, &len);
	EXPECT_GE(rcv, udp_buffer_size_rcv);
}

TEST(NetUdp, PortInUseLeavesNoSocket)
{
	PCSBSocketUDP a, b;
	ASSERT_EQ(1, a.udp_init(0, udp_mode_blocking));
	EXPECT_EQ(0, b.udp_init(port_of(a), udp_mode_nonblocking));
	EXPECT_EQ(-1, b.descriptor());
	b.Cleanup();
	EXPECT_EQ(-1, b.descriptor());
}

TEST(NetUdp, ReadWithoutSocketRaisesFatalAlert)
{
	std::vector<alert_record> alerts;
	MACIBM_set_alert_sink([&](const alert_record& r) { alerts.push_back(r); });
	PCSBSocketUDP s;
	char buf[8];
	unsigned long from;
	unsigned short port;
	EXPECT_EQ(-1, s.ReadData(buf, sizeof(buf), &from, &port));
	MACIBM_set_alert_sink({});
	ASSERT_EQ(1u, alerts.size());
	EXPECT_EQ("Bad mWinSocket!", alerts[0].line1);
	EXPECT_EQ(alert_fatal, alerts[0].kind);
	EXPECT_EQ("DIzivoz/Sockets/PCSBSocketUDP.lin", alerts[0].source_file);
	EXPECT_EQ(102, alerts[0].source_line);
}

}  // namespace
