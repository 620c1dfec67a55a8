// The download client against the real loopback server.
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OOPS_cpp/http.h"
#include "DIzivoz/Sockets/PCSBSocket.h"
#include "DIzivoz/UTL/UTL_xtim.h"
#include "tests/support/http_server.h"
#include "tests/support/tcp_states.h"

using vtest::http_behaviour;
using vtest::read_file_bytes;

namespace {

const char* const kHost = "www.ventora-sim.test";

std::string pattern(size_t n, unsigned seed)
{
	std::string s(n, '\0');
	for (size_t i = 0; i < n; ++i) s[i] = (char)((i * 31 + seed * 7 + (i >> 8)) & 0xFF);
	return s;
}

class NetHttp : public ::testing::Test {
protected:
	vtest::temp_folder tmp;
	std::unique_ptr<vtest::http_server> srv;
	std::vector<alert_record> alerts;

	void SetUp() override
	{
		srv.reset(new vtest::http_server(tmp.file("www/")));
		xer.open(tmp.file("log.txt"));
		app_path.clear();
		xtim.elapsed = 0;
		http.proxy_host = "127.0.0.1";
		http.proxy_port = srv->port();
		gProxyExclude.clear();
		MACIBM_set_alert_sink([this](const alert_record& a) { alerts.push_back(a); });
	}
	void TearDown() override
	{
		http.kill_all();
		http.proxy_host.clear();
		http.proxy_port = 0;
		gProxyExclude.clear();
		MACIBM_set_alert_sink({});
		xer.close();
		srv.reset();
	}

	std::string log()
	{
		xer.flush();
		return read_file_bytes(tmp.file("log.txt"));
	}

	// Polls like the wizard does until the slot reports done or failed, or
	// until the wall-clock limit passes (then 0: still busy).
	int poll(int slot, const std::string& path, const std::string& local, int limit_ms = 3000,
	         const std::string& host = kHost)
	{
		const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
		for (;;) {
			const int r = http.net_check(slot, host, path, local);
			if (r != 0) return r;
			if (std::chrono::steady_clock::now() > until) return 0;
			std::this_thread::sleep_for(std::chrono::microseconds(200));
		}
	}

	// Polls until the slot's transfer has written `bytes` body bytes.
	void poll_until_received(int slot, const std::string& path, const std::string& local, long long bytes)
	{
		const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
		while (std::chrono::steady_clock::now() < until) {
			ASSERT_EQ(0, http.net_check(slot, kHost, path, local));
			ASSERT_NE(nullptr, http.slot[slot]);
			if (http.slot[slot]->mHeadersDone && http.slot[slot]->mReceived >= bytes) return;
			std::this_thread::sleep_for(std::chrono::microseconds(200));
		}
		FAIL() << "body did not arrive";
	}

	std::string block(const std::string& local, const std::string& path, int done, int complete, int err,
	                  int stat, int oserr, const std::string& response)
	{
		return "HTTP Error for " + local + "\n   server     =" + kHost + "\n   file       =" + path +
		       "\n   IsDone     =" + std::to_string(done) + "\n   IsComplete =" + std::to_string(complete) +
		       "\n   IsErr      =" + std::to_string(err) + "\n   GetStat    =" + std::to_string(stat) +
		       "\n   GetOSErr   =" + std::to_string(oserr) + "\n   response   =" + response + "\n\n";
	}
};

TEST_F(NetHttp, ProxyFormRequestBytesAndFileContents)
{
	const std::string body = pattern(100000, 1);
	srv->put_file(kHost, "/Ventora 9/a file.zip", body);
	const std::string local = tmp.file("a.zip");
	EXPECT_EQ(1, poll(0, "/Ventora 9/a file.zip", local));
	EXPECT_EQ(body, read_file_bytes(local));
	ASSERT_EQ(1u, srv->requests().size());
	EXPECT_EQ(std::string("GET http://www.ventora-sim.test/Ventora%209/a%20file.zip HTTP/1.1\r\n"
	                      "Connection: close\r\n"
	                      "Host: www.ventora-sim.test\r\n"
	                      "User-agent: Installer-APL/10r1\r\n"
	                      "\r\n"),
	          srv->requests()[0].raw);
	EXPECT_EQ(std::string::npos, log().find("HTTP Error"));
}

TEST_F(NetHttp, DirectFormRequestBytes)
{
	srv->put_file("127.0.0.1", "/d/x y.txt", "hello");
	http.proxy_port = 0;
	std::map<std::string, std::string> headers{
	    {"Host", "127.0.0.1"}, {"Connection", "close"}, {"User-agent", "Installer-APL/10r1"}};
	const std::string local = tmp.file("x.txt");
	down_class d("127.0.0.1", srv->port(), "/d/x y.txt", false, &headers, nullptr, 0, local.c_str());
	const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
	while (d.mSocket->GetStatus() != sock_status_closed && std::chrono::steady_clock::now() < until)
		d.DoProcessing();
	EXPECT_EQ(200, d.mStatus);
	EXPECT_EQ("OK", d.mReason);
	EXPECT_EQ(5, d.mReceived);
	ASSERT_EQ(1u, srv->requests().size());
	EXPECT_EQ(std::string("GET /d/x%20y.txt HTTP/1.1\r\nConnection: close\r\nHost: 127.0.0.1\r\n"
	                      "User-agent: Installer-APL/10r1\r\n\r\n"),
	          srv->requests()[0].raw);
	d.DoProcessing();  // closed: the file is closed
	EXPECT_EQ("hello", read_file_bytes(local));

	// A body makes it a POST with its length after the headers.
	std::map<std::string, std::string> one{{"Host", "127.0.0.1"}};
	down_class post("127.0.0.1", srv->port(), "/form", true, &one, "a=1&b", 5, tmp.file("p").c_str());
	const auto until2 = std::chrono::steady_clock::now() + std::chrono::seconds(3);
	while (srv->request_count() < 2 && std::chrono::steady_clock::now() < until2) post.DoProcessing();
	ASSERT_EQ(2u, srv->requests().size());
	EXPECT_EQ("POST /form HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 5\r\n\r\n", srv->requests()[1].raw);
}

TEST(NetProxyChoice, PortOutsideRangeMeansNoProxy)
{
	struct Case {
		std::string host;
		int port;
		std::vector<std::string> exclude;
		const char* server;
		bool use;
	} cases[] = {
	    {"proxy.local", 3128, {}, "a.test", true},
	    {"proxy.local", 0, {}, "a.test", false},
	    {"proxy.local", -1, {}, "a.test", false},  // "abc" typed as the port
	    {"proxy.local", 65536, {}, "a.test", false},
	    {"proxy.local", 65535, {}, "a.test", true},
	    {"", 3128, {}, "a.test", false},
	    {"proxy.local", 3128, {".ventora.test"}, "www.ventora.test", false},
	    {"proxy.local", 3128, {"much.longer.ending.test"}, "a.test", true},
	};
	for (const Case& c : cases) {
		http.proxy_host = c.host;
		http.proxy_port = c.port;
		gProxyExclude = c.exclude;
		EXPECT_EQ(c.use, http.UseProxy(c.server, 80)) << c.host << ":" << c.port;
		EXPECT_EQ(c.use ? (unsigned short)c.port : 80, http.ProxyPort(c.server, 80));
		EXPECT_STREQ(c.use ? c.host.c_str() : c.server, http.ProxyHost(c.server, 80));
	}
	http.proxy_host.clear();
	http.proxy_port = 0;
	gProxyExclude.clear();
}

TEST_F(NetHttp, ProxyPortBeyond16BitsIsNotTruncatedOntoAnotherPort)
{
	// Its low 16 bits name the test server; the client must not go there.
	http.proxy_port = 65536 + srv->port();
	srv->put_file("127.0.0.1", "/f.txt", "data");
	EXPECT_EQ(2, poll(0, "/f.txt", tmp.file("f.txt"), 3000, "127.0.0.1"));
	EXPECT_EQ(0u, srv->request_count());
}

// Responses that finish at once, judged by status code and length.
TEST_F(NetHttp, CompleteResponsesFinishAtOnce)
{
	struct Case {
		const char* name;
		size_t size;
		http_behaviour b;
		int result;
		bool log_block;
	};
	http_behaviour keep_open;
	keep_open.stall_after = 1000;  // all 1000 bytes, then the connection stays open
	http_behaviour lower;
	lower.lower_case_headers = true;
	http_behaviour longer;  // one send, so the extra bytes come in the same read as the rest
	longer.raw = "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + std::string(1010, 'x');
	longer.keep_open_after = true;
	http_behaviour negative;  // a length no body can match
	negative.raw = "HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\nabc";
	negative.keep_open_after = true;
	const Case cases[] = {
	    {"empty", 0, {}, 1, false},
	    {"exact_kept_open", 1000, keep_open, 1, false},
	    {"lower_case_names", 5000, lower, 1, false},
	    {"longer_than_length", 1000, longer, 2, true},
	    {"negative_length", 3, negative, 2, true},
	};
	int n = 0;
	for (const Case& c : cases) {
		SCOPED_TRACE(c.name);
		const std::string path = std::string("/") + c.name;
		const std::string body = pattern(c.size, ++n);
		srv->put_file(kHost, path, body);
		srv->set_behaviour(path, c.b);
		const std::string local = tmp.file(c.name);
		EXPECT_EQ(c.result, poll(1, path, local, 3000));
		EXPECT_EQ(nullptr, http.slot[1]);
		EXPECT_EQ(c.log_block, log().find("HTTP Error for " + local) != std::string::npos);
		if (c.result == 1) {
			EXPECT_TRUE(vtest::path_exists(local));
			EXPECT_EQ(body, read_file_bytes(local));
		}
	}
}

TEST_F(NetHttp, NotFoundWritesBodyAndFullLogBlock)
{
	const std::string local = tmp.file("missing.zip");
	EXPECT_EQ(2, poll(0, "/missing.zip", local));
	EXPECT_EQ("Not Found\n", read_file_bytes(local));
	EXPECT_NE(std::string::npos, log().find(block(local, "/missing.zip", 1, 1, 0, 3, 0, "Not Found (#404)")))
	    << log();
	// The slot keeps why, for the caller to tell the user, until its next transfer.
	EXPECT_EQ(net_fail_answer, http.last_failure[0].kind);
	EXPECT_EQ(404, http.last_failure[0].status);
	EXPECT_EQ("Not Found", http.last_failure[0].reason);
	srv->put_file(kHost, "/there.zip", "x");
	EXPECT_EQ(1, poll(0, "/there.zip", local));
	EXPECT_EQ(net_fail_none, http.last_failure[0].kind);
}

// Transfers that never complete end only by the stall time-out, silently.
TEST_F(NetHttp, IncompleteResponsesFailAfterThirtySecondsWithoutLogBlock)
{
	struct Case {
		const char* name;
		http_behaviour b;
		long long arrives;
	};
	http_behaviour shorter;
	shorter.cut_after = 999;  // then the server closes its side
	http_behaviour no_length;
	no_length.no_length = true;
	http_behaviour no_length_open = no_length;
	no_length_open.keep_open_after = true;
	http_behaviour stall;
	stall.stall = true;
	const Case cases[] = {{"short", shorter, 999},
	                      {"no_length", no_length, 1000},
	                      {"no_length_open", no_length_open, 1000},
	                      {"stall", stall, 0}};
	float now = 0;
	for (const Case& c : cases) {
		SCOPED_TRACE(c.name);
		const std::string path = std::string("/") + c.name;
		srv->put_file(kHost, path, pattern(1000, 3));
		srv->set_behaviour(path, c.b);
		const std::string local = tmp.file(c.name);
		xtim.elapsed = now;
		poll_until_received(2, path, local, c.arrives);
		std::this_thread::sleep_for(std::chrono::milliseconds(30));  // a closing server changes nothing
		xtim.elapsed = now + 30.0f;
		EXPECT_EQ(0, http.net_check(2, kHost, path, local));
		xtim.elapsed = now + 30.5f;
		EXPECT_EQ(2, http.net_check(2, kHost, path, local));
		EXPECT_EQ(nullptr, http.slot[2]);
		EXPECT_EQ(net_fail_stalled, http.last_failure[2].kind);
		EXPECT_EQ(std::string::npos, log().find("HTTP Error")) << log();
		now += 100;
	}
}

// Without a local file the body has nowhere to go: a complete body still ends
// the transfer at once, as a failure.
TEST_F(NetHttp, NoLocalFileFailsOnceTheBodyIsIn)
{
	srv->put_file(kHost, "/nf", pattern(150000, 6));
	http_behaviour b;
	b.keep_open_after = true;
	srv->set_behaviour("/nf", b);
	EXPECT_EQ(2, poll(0, "/nf", ""));
	EXPECT_NE(std::string::npos, log().find(block("", "/nf", 1, 0, 0, 3, 0, "OK (#200)"))) << log();
}

// The time-out counts from the last data received, not from the start.
TEST_F(NetHttp, LaterDataPushesTheStallTimeOutBack)
{
	srv->put_file(kHost, "/slow", pattern(3000, 7));
	http_behaviour b;
	b.slow_chunk = 500;
	b.slow_delay_ms = 60;
	b.stall_after = 1500;  // then nothing more, the connection kept open
	srv->set_behaviour("/slow", b);
	const std::string local = tmp.file("slow");
	xtim.elapsed = 100;
	poll_until_received(3, "/slow", local, 500);
	ASSERT_LT(http.slot[3]->mReceived, 1500);
	xtim.elapsed = 120;
	poll_until_received(3, "/slow", local, 1500);
	xtim.elapsed = 145;  // 45 s after the start, 25 s after the last data
	EXPECT_EQ(0, http.net_check(3, kHost, "/slow", local));
	xtim.elapsed = 150.5f;
	EXPECT_EQ(2, http.net_check(3, kHost, "/slow", local));
	EXPECT_EQ(std::string::npos, log().find("HTTP Error")) << log();
}

TEST_F(NetHttp, DataBeforeCompleteHeadersIsNoActivity)
{
	http_behaviour b;
	b.raw = "HTTP/1.1 200\r\nContent-Length: 4\r\n\r\nabcd";  // status line too short
	b.keep_open_after = true;
	srv->set_behaviour("/odd", b);
	xtim.elapsed = 5;
	EXPECT_EQ(0, poll(0, "/odd", tmp.file("odd"), 100));
	xtim.elapsed = 35.5f;
	EXPECT_EQ(2, http.net_check(0, kHost, "/odd", tmp.file("odd")));
	EXPECT_EQ(std::string::npos, log().find("HTTP Error"));
}

TEST_F(NetHttp, InterimBlockThenFinalResponseInSameRead)
{
	const std::string body = pattern(3000, 4);
	srv->put_file(kHost, "/int", body);
	http_behaviour b;
	b.interim = "HTTP/1.1 100 Continue\r\nContent-Type: text/interim\r\n\r\n";
	b.keep_open_after = true;  // nothing more arrives after the one burst
	srv->set_behaviour("/int", b);
	const std::string local = tmp.file("int");
	EXPECT_EQ(1, poll(0, "/int", local));
	EXPECT_EQ(body, read_file_bytes(local));

	// Only the final block's header lines count.
	std::map<std::string, std::string> headers{{"Host", kHost}};
	down_class d(kHost, 80, "/int", false, &headers, nullptr, 0, tmp.file("int2").c_str());
	const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
	while (d.mReceived < (long long)body.size() && std::chrono::steady_clock::now() < until) d.DoProcessing();
	EXPECT_EQ(200, d.mStatus);
	EXPECT_EQ("application/octet-stream", d.mHeaders["content-type"]);
	EXPECT_EQ((long long)body.size(), d.mExpected);
}

TEST_F(NetHttp, InterimHeaderLinesDoNotCountForTheFinalResponse)
{
	// The interim block's length would end the body early; the final response
	// has none, so its body runs until the server stops sending.
	http_behaviour b;
	b.raw = "HTTP/1.1 100 Continue\r\nContent-Length: 5\r\nX-Only-Interim: 1\r\n\r\n"
	        "HTTP/1.1 200 OK\r\nX-Final: 2\r\n\r\n0123456789";
	b.keep_open_after = true;
	srv->set_behaviour("/cont", b);
	std::map<std::string, std::string> headers{{"Host", kHost}};
	down_class d(kHost, 80, "/cont", false, &headers, nullptr, 0, tmp.file("cont").c_str());
	const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
	while (d.mReceived < 10 && std::chrono::steady_clock::now() < until) d.DoProcessing();
	EXPECT_EQ(200, d.mStatus);
	EXPECT_EQ(-1, d.mExpected);
	EXPECT_EQ(10, d.mReceived);
	EXPECT_EQ(0u, d.mHeaders.count("Content-Length"));
	EXPECT_EQ(0u, d.mHeaders.count("X-Only-Interim"));
	EXPECT_EQ("2", d.mHeaders["X-Final"]);
	EXPECT_EQ(sock_status_connected, d.mSocket->GetStatus());  // not cut at the interim length
}

TEST_F(NetHttp, LengthsBeyondTwoGigabytesAreKept)
{
	http_behaviour b;
	b.raw = "HTTP/1.1 200 OK\r\nContent-Length: 3000000000\r\n\r\nabc";
	b.keep_open_after = true;
	srv->set_behaviour("/big", b);
	std::map<std::string, std::string> headers{{"Host", kHost}};
	down_class d(kHost, 80, "/big", false, &headers, nullptr, 0, tmp.file("big").c_str());
	const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
	while (d.mReceived < 3 && std::chrono::steady_clock::now() < until) d.DoProcessing();
	EXPECT_EQ(3000000000LL, d.mExpected);
	EXPECT_EQ(3, d.mReceived);
	EXPECT_EQ(sock_status_connected, d.mSocket->GetStatus());
}

TEST_F(NetHttp, EndlessHeaderTextFailsWithLogBlock)
{
	std::string many = "HTTP/1.1 200 OK\r\n";
	for (int i = 0; many.size() < 70000; ++i) many += "X-Filler-" + std::to_string(i) + ": 0123456789\r\n";
	const std::string one_line = "HTTP/1.1 200 OK\r\nX-Long: " + std::string(70000, 'a');
	int n = 0;
	for (const std::string& raw : {many, one_line}) {
		const std::string path = "/hdr" + std::to_string(++n);
		http_behaviour b;
		b.raw = raw;
		b.keep_open_after = true;
		srv->set_behaviour(path, b);
		const std::string local = tmp.file(path.substr(1));
		EXPECT_EQ(2, poll(0, path, local));
		EXPECT_NE(std::string::npos, log().find("HTTP Error for " + local));
		EXPECT_NE(std::string::npos, log().find("   GetOSErr   =" + std::to_string(EMSGSIZE)));
	}
}

TEST_F(NetHttp, RefusedPortFailsWithConnectionRefusedInLog)
{
	// A port held by a bound socket that does not listen (a client socket
	// of ours holds none until it connects).
	const int probe = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
	sockaddr_in a;
	memset(&a, 0, sizeof(a));
	a.sin_family = AF_INET;
	a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	socklen_t len = sizeof(a);
	ASSERT_EQ(0, bind(probe, (sockaddr*)&a, sizeof(a)));
	ASSERT_EQ(0, getsockname(probe, (sockaddr*)&a, &len));
	http.proxy_port = ntohs(a.sin_port);
	const std::string local = tmp.file("refused");
	EXPECT_EQ(2, poll(0, "/x.zip", local));
	EXPECT_NE(std::string::npos, log().find(block(local, "/x.zip", 1, 0, 0, 3, ECONNREFUSED, " (#-1)"))) << log();
	EXPECT_EQ(net_fail_connection, http.last_failure[0].kind);
	EXPECT_EQ(ECONNREFUSED, http.last_failure[0].os_error);
	close(probe);
}

TEST_F(NetHttp, UnresolvableServerFailsOnFirstCall)
{
	http.proxy_port = 0;
	const std::string local = tmp.file("nowhere");
	EXPECT_EQ(2, http.net_check(0, "nowhere.invalid", "/a.zip", local));
	const std::string l = log();
	EXPECT_NE(std::string::npos, l.find("Translated server nowhere.invalid to IP addy: 0.0.0.0 and port = 80\n"));
	EXPECT_NE(std::string::npos, l.find("HTTP Error for " + local +
	                                    "\n   server     =nowhere.invalid\n   file       =/a.zip\n"
	                                    "   IsDone     =0\n   IsComplete =0\n   IsErr      =1\n"
	                                    "   GetStat    =0\n   GetOSErr   =20011\n   response   = (#0)\n\n"))
	    << l;
	EXPECT_EQ(net_fail_no_server, http.last_failure[0].kind);
}

TEST_F(NetHttp, ResetDuringBodyFailsWithLogBlock)
{
	srv->put_file(kHost, "/r", pattern(200000, 5));
	http_behaviour b;
	b.cut_after = 50000;
	b.reset_after_cut = true;
	srv->set_behaviour("/r", b);
	const std::string local = tmp.file("r");
	EXPECT_EQ(2, poll(0, "/r", local));
	EXPECT_NE(std::string::npos, log().find("HTTP Error for " + local));
	EXPECT_NE(std::string::npos, log().find("   IsComplete =0\n"));
	EXPECT_EQ(net_fail_short, http.last_failure[0].kind);
}

TEST_F(NetHttp, LocalFileFailuresFailWithTheirError)
{
	srv->put_file(kHost, "/w", "abc");
	// A folder that does not exist; a device that is always full (the write
	// fails only when the buffered bytes are flushed).
	const std::pair<std::string, int> cases[] = {{tmp.file("no/such/folder/w"), ENOENT}, {"/dev/full", ENOSPC}};
	for (const auto& c : cases) {
		EXPECT_EQ(2, poll(0, "/w", c.first)) << c.first;
		EXPECT_NE(std::string::npos, log().find("HTTP Error for " + c.first + "\n")) << c.first;
		EXPECT_NE(std::string::npos, log().find("   GetOSErr   =" + std::to_string(c.second) + "\n")) << c.first;
		// A local file's error is no network failure.
		EXPECT_EQ(net_fail_local_file, http.last_failure[0].kind) << c.first;
		EXPECT_EQ(c.second, http.last_failure[0].os_error) << c.first;
	}
}

TEST_F(NetHttp, SixSlotsAtOnceAndABusySlotKeepsItsTransfer)
{
	std::vector<std::string> bodies;
	for (int i = 0; i < 6; ++i) {
		bodies.push_back(pattern(300000 + i * 1000, 10 + i));
		const std::string path = "/s" + std::to_string(i);
		srv->put_file(kHost, path, bodies.back());
		http_behaviour slow;
		slow.slow_chunk = 60000;
		slow.slow_delay_ms = 5;
		srv->set_behaviour(path, slow);
	}
	int result[6] = {0, 0, 0, 0, 0, 0};
	bool busy_seen = false;
	const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
	for (int left = 6; left > 0 && std::chrono::steady_clock::now() < until;) {
		for (int i = 0; i < 6; ++i) {
			if (result[i]) continue;
			// Slot 5 is named with another file after its first call: it goes on with its own.
			const bool other = i == 5 && http.slot[5] != nullptr;
			const std::string p = other ? "/s0" : "/s" + std::to_string(i);
			result[i] = http.net_check(i, kHost, p, tmp.file(other ? "other" : "s" + std::to_string(i)));
			if (result[i] == 0) busy_seen = true;
			if (result[i]) --left;
		}
	}
	EXPECT_TRUE(busy_seen);
	for (int i = 0; i < 6; ++i) {
		EXPECT_EQ(1, result[i]) << i;
		EXPECT_EQ(bodies[i], read_file_bytes(tmp.file("s" + std::to_string(i)))) << i;
	}
	EXPECT_EQ(6u, srv->request_count());
}

// A finished transfer leaves the close to the server, which was told
// "Connection: close": the wait after a close, and the port it holds, stay
// on the server's side. A server that keeps the connection open gets it
// closed anyway, soon.
TEST_F(NetHttp, FinishedConnectionsAreClosedByTheServerFirst)
{
	http_behaviour keep_open;
	keep_open.keep_open_after = true;
	const struct {
		const char* name;
		http_behaviour b;
		bool server_closes;
	} cases[] = {{"closes", {}, true}, {"kept_open", keep_open, false}};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.name);
		const std::string path = std::string("/") + c.name;
		srv->put_file(kHost, path, pattern(20000, 3));
		srv->set_behaviour(path, c.b);
		const int before = vtest::count_tcp_state(vtest::tcp_time_wait, -1, srv->port());
		for (int i = 0; i < 20; ++i) ASSERT_EQ(1, poll(2, path, tmp.file(c.name))) << i;
		EXPECT_EQ(nullptr, http.slot[2]);
		const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
		while (http.parked_count() > 0 && std::chrono::steady_clock::now() < until) http.wait(5);
		EXPECT_EQ(0u, http.parked_count());
		// Our side's waiting connections are those whose far end is the server's port.
		const int waiting = vtest::count_tcp_state(vtest::tcp_time_wait, -1, srv->port()) - before;
		if (c.server_closes) {
			EXPECT_EQ(0, waiting);
		}
		// Every connection was closed, also those the server kept open.
		EXPECT_TRUE(srv->settle(5000));
	}
}

// A file used again for the next download holds exactly the new body
// afterwards, whatever it held before; a failed download leaves it with the
// slot for the next one.
TEST_F(NetHttp, GivenFileIsWrittenFromItsStartAndCutToTheBody)
{
	const struct {
		const char* name;
		size_t before;        // bytes in the file before
		bool length_known;    // its length is given along
		size_t body;
	} cases[] = {
	    {"longer_before", 5000, true, 1000},
	    {"longer_before_length_unknown", 5000, false, 1000},
	    {"shorter_before", 10, true, 300000},
	    {"empty_body", 100, true, 0},
	};
	http.keep_file(3, true);
	for (const auto& c : cases) {
		SCOPED_TRACE(c.name);
		const std::string path = std::string("/") + c.name;
		const std::string body = pattern(c.body, 9);
		srv->put_file(kHost, path, body);
		const int fd = open(tmp.file(std::string(c.name) + ".reused").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
		ASSERT_GE(fd, 0);
		ASSERT_EQ((ssize_t)c.before, write(fd, std::string(c.before, 'j').data(), c.before));
		http.use_file(3, fd, c.length_known ? (long long)c.before : http_size_unknown);
		const std::string local = tmp.file(c.name);
		ASSERT_EQ(1, poll(3, path, local));
		EXPECT_FALSE(vtest::path_exists(local)) << "the download made a file of its own";
		EXPECT_FALSE(http.has_file(3));
		long long size = -1;
		EXPECT_EQ(fd, http.finished_file(3, &size));
		EXPECT_EQ((long long)c.body, size);
		EXPECT_EQ(body, read_file_bytes(tmp.file(std::string(c.name) + ".reused")));
		close(fd);
	}

	// A failed download: the file stays with the slot, and the next one cuts what it left.
	const int fd = open(tmp.file("after_failure").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
	ASSERT_GE(fd, 0);
	http.use_file(3, fd, 0);
	http_behaviour cut;
	cut.cut_after = 40000;
	srv->put_file(kHost, "/cut", pattern(90000, 4));
	srv->set_behaviour("/cut", cut);
	poll_until_received(3, "/cut", tmp.file("cut"), 40000);
	xtim.elapsed += 31;
	EXPECT_EQ(2, http.net_check(3, kHost, "/cut", tmp.file("cut")));
	EXPECT_TRUE(http.has_file(3));
	const std::string body = pattern(1000, 5);
	srv->put_file(kHost, "/small", body);
	ASSERT_EQ(1, poll(3, "/small", tmp.file("small")));
	EXPECT_EQ(fd, http.finished_file(3));
	EXPECT_EQ(body, read_file_bytes(tmp.file("after_failure")));
	close(fd);
	http.keep_file(3, false);
}

TEST_F(NetHttp, CallerMistakesRaiseFatalAlertsAndFail)
{
	struct Case {
		int slot;
		const char* server;
		const char* path;
		const char* line1;
		const char* line2;
		const char* line3;
		const char* line4;
		int line;
	} cases[] = {
	    {-1, kHost, "/a", "Too many download objects requested!", "", "", "", 232},
	    {6, kHost, "/a", "Too many download objects requested!", "", "", "", 232},
	    {0, "www.ventora-sim.test/", "/a", "net_check error! You have a dirchar at the end of the server name!",
	     "You should not!", "Our convention is that a server name is simply a server name... with no slash!",
	     "www.ventora-sim.test/", 247},
	    {0, kHost, "a", "net_check error! You do not have a dirchar at the beginning of the directory name!",
	     "You should!",
	     "Our convention is that a directory name does start with a slash because it must include the hard "
	     "drive,which is a dir char on unix!",
	     "a", 248},
	};
	for (const Case& c : cases) {
		alerts.clear();
		EXPECT_EQ(2, http.net_check(c.slot, c.server, c.path, tmp.file("m")));
		ASSERT_EQ(1u, alerts.size());
		EXPECT_EQ(c.line1, alerts[0].line1);
		EXPECT_EQ(c.line2, alerts[0].line2);
		EXPECT_EQ(c.line3, alerts[0].line3);
		EXPECT_EQ(c.line4, alerts[0].line4);
		EXPECT_EQ(alert_fatal, alerts[0].kind);
		EXPECT_EQ("DIzivoz/OOPS_cpp/http", alerts[0].source_file);
		EXPECT_EQ(c.line, alerts[0].source_line);
		EXPECT_EQ(nullptr, http.slot[0]);
	}
	EXPECT_EQ(0u, srv->request_count());
}

}  // namespace
