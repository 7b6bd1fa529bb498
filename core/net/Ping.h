#pragma once
#include <string>

// Sends one ICMP echo to the host's first IPv4 address and waits up to 1000 ms.
// Gives the round-trip time in whole milliseconds as decimal text, or one of
// "Invalid address", "Couldn't create icmp handle", "Destination Network was
// unreachable", "Destination host was unreachable", "Request timed out"; empty
// text for any other failure. Uses an ICMP datagram socket, or a raw socket
// where the kernel allows no datagram ICMP to this user but a raw one.
std::string Ping(const std::string& host);
