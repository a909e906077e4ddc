#pragma once

// A TCP port on the loopback address that nobody listens on now (the kernel's choice for a socket bound
// to port 0); 0 when none could be had.
int free_tcp_port();
