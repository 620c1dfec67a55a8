#pragma once
// The TCP connections of this process's network namespace, as the kernel
// lists them in /proc/net/tcp.

namespace vtest {

const int tcp_time_wait = 6;  // the kernel's number for TIME_WAIT

// Connections in the given state whose local and remote ports match (-1: any).
int count_tcp_state(int state, int local_port, int remote_port);

}  // namespace vtest
