#include "tests/support/tcp_states.h"

#include <fstream>
#include <sstream>
#include <string>

namespace vtest {

namespace {
int port_of(const std::string& address)  // "0100007F:1F90"
{
	const size_t colon = address.find(':');
	return colon == std::string::npos ? -1 : (int)std::stoul(address.substr(colon + 1), nullptr, 16);
}
}  // namespace

int count_tcp_state(int state, int local_port, int remote_port)
{
	std::ifstream in("/proc/net/tcp");
	std::string line;
	std::getline(in, line);  // the column names
	int n = 0;
	while (std::getline(in, line)) {
		std::istringstream words(line);
		std::string slot, local, remote, st;
		if (!(words >> slot >> local >> remote >> st)) continue;
		if ((int)std::stoul(st, nullptr, 16) != state) continue;
		if (local_port >= 0 && port_of(local) != local_port) continue;
		if (remote_port >= 0 && port_of(remote) != remote_port) continue;
		++n;
	}
	return n;
}

}  // namespace vtest
