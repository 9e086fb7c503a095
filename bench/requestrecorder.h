// A relay on a loopback address of its own, for the benchmarks that count or replay what a piece of the reading
// engine sends: it passes each request on to a printer and the reply back, keeping the requests; and, given a delay,
// holding each request back that long first, as a printer that takes its time to answer would.
#pragma once

#include "loopback.h"

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

class RequestRecorder {
public:
    RequestRecorder(const sockaddr_in &own, const sockaddr_in &printer,
                    std::chrono::milliseconds delay = std::chrono::milliseconds(0))
        : front_(openUdpSocket()), back_(openUdpSocket()), delay_(delay) {
        ready_ = front_ >= 0 && back_ >= 0 &&
                 bind(front_, reinterpret_cast<const sockaddr *>(&own), sizeof own) == 0 &&
                 connect(back_, reinterpret_cast<const sockaddr *>(&printer), sizeof printer) == 0;
    }
    ~RequestRecorder() {
        if (front_ >= 0) close(front_);
        if (back_ >= 0) close(back_);
    }
    RequestRecorder(const RequestRecorder &) = delete;
    RequestRecorder &operator=(const RequestRecorder &) = delete;

    bool ready() const { return ready_; }

    // Runs work, which talks to the relay's address, and returns the requests it sent.
    std::vector<std::string> record(const std::function<void()> &work) {
        std::vector<std::string> requests;
        std::atomic<bool> done{false};
        std::thread relay([&] {
            sockaddr_in client{};
            socklen_t clientLength = sizeof client;
            std::vector<char> buffer(65536);
            pollfd sockets[2] = {{front_, POLLIN, 0}, {back_, POLLIN, 0}};
            while (!done) {
                if (poll(sockets, 2, 20) <= 0) continue;
                if (sockets[0].revents & POLLIN) {
                    clientLength = sizeof client;
                    const ssize_t got = recvfrom(front_, buffer.data(), buffer.size(), 0,
                                                 reinterpret_cast<sockaddr *>(&client), &clientLength);
                    if (got <= 0) continue;
                    requests.emplace_back(buffer.data(), static_cast<std::size_t>(got));
                    std::this_thread::sleep_for(delay_);
                    send(back_, buffer.data(), static_cast<std::size_t>(got), 0);
                }
                if (sockets[1].revents & POLLIN) {
                    const ssize_t got = recv(back_, buffer.data(), buffer.size(), 0);
                    if (got > 0)
                        sendto(front_, buffer.data(), static_cast<std::size_t>(got), 0,
                               reinterpret_cast<const sockaddr *>(&client), clientLength);
                }
            }
        });
        work();
        done = true;
        relay.join();
        return requests;
    }

private:
    int front_, back_;
    std::chrono::milliseconds delay_;
    bool ready_ = false;
};

