// What both benchmarks need of the wire: the agent's loopback address and a plain UDP socket.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <cstdint>
#include <string>

// The agent's socket address; false unless address is a dotted 127.x.x.x address (the benchmarks never send
// anywhere else).
inline bool loopbackAddress(const std::string &address, std::uint16_t port, sockaddr_in &out) {
    out = {};
    out.sin_family = AF_INET;
    out.sin_port = htons(port);
    return inet_pton(AF_INET, address.c_str(), &out.sin_addr) == 1 && (ntohl(out.sin_addr.s_addr) >> 24) == 127;
}

// A UDP socket whose receives give up after 2 s: a silent agent ends the benchmark instead of hanging it.
inline int openUdpSocket() {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const timeval limit{2, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    return fd;
}
