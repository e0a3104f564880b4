// A loopback TCP proxy that delays every message as a network would and counts
// the round trips, for the benchmarks that talk to a server.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace benchsupport {

// A TCP proxy on 127.0.0.1 in front of a local port that hands on every chunk
// it reads after a fixed delay, in each direction, and counts round trips: a
// client message that follows an answer of the server (or opens the
// connection) begins a new one. At most kMaxLinks connections are served.
// A watcher, when given, sees every chunk the clients send, with the number of
// its connection (from 0, in the order accepted), on that connection's
// reading thread.
class DelayProxy {
 public:
  using Clock = std::chrono::steady_clock;
  using Watcher = std::function<void(int link, const char* data, size_t size)>;

  DelayProxy(int targetPort, std::chrono::milliseconds delay, Watcher watcher = {})
      : target_(targetPort), delay_(delay), watcher_(std::move(watcher)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    socklen_t len = sizeof a;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listener_, 16) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
      std::perror("proxy");
      std::exit(2);
    }
    port_ = ntohs(a.sin_port);
    acceptor_ = std::thread([this] { AcceptLoop(); });
  }
  ~DelayProxy() {
    stop_ = true;
    acceptor_.join();
    ::close(listener_);
    std::lock_guard<std::mutex> lock(linksMutex_);
    for (auto& l : links_) l->Stop();
    links_.clear();
  }
  int port() const { return port_; }
  long RoundTrips() const { return roundTrips_.load(); }
  void ResetCount() { roundTrips_ = 0; }

 private:
  static constexpr int kMaxLinks = 64;
  static constexpr size_t kChunk = 64 * 1024;

  struct Chunk {
    Clock::time_point due;
    std::string data;  // empty: the sending side closed
  };

  // One direction: a reader that stamps each chunk and a writer that hands it
  // on once due.
  struct Pipe {
    int from = -1, to = -1;
    std::mutex m;
    std::condition_variable cv;
    std::deque<Chunk> queue;
    bool stopped = false;
    std::thread reader, writer;
  };

  struct Link {
    int number = 0;
    int client = -1, server = -1;
    Pipe up, down;  // client to server, server to client
    std::atomic<bool> serverSpoke{true};
    void Stop() {
      for (Pipe* p : {&up, &down}) {
        {
          std::lock_guard<std::mutex> lock(p->m);
          p->stopped = true;
        }
        p->cv.notify_all();
      }
      ::shutdown(client, SHUT_RDWR);
      ::shutdown(server, SHUT_RDWR);
      for (Pipe* p : {&up, &down}) {
        if (p->reader.joinable()) p->reader.join();
        if (p->writer.joinable()) p->writer.join();
      }
      ::close(client);
      ::close(server);
    }
  };

  void AcceptLoop() {
    int served = 0;
    while (!stop_) {
      pollfd p{listener_, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      const int client = ::accept(listener_, nullptr, nullptr);
      if (client < 0) continue;
      if (++served > kMaxLinks) {
        ::close(client);
        continue;
      }
      const int server = ::socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      a.sin_port = htons(static_cast<uint16_t>(target_));
      if (server < 0 || ::connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(client);
        if (server >= 0) ::close(server);
        continue;
      }
      const int one = 1;
      ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      ::setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      auto link = std::make_unique<Link>();
      link->number = served - 1;
      link->client = client;
      link->server = server;
      Start(*link, link->up, client, server, true);
      Start(*link, link->down, server, client, false);
      std::lock_guard<std::mutex> lock(linksMutex_);
      links_.push_back(std::move(link));
    }
  }

  void Start(Link& link, Pipe& pipe, int from, int to, bool fromClient) {
    pipe.from = from;
    pipe.to = to;
    pipe.reader = std::thread([this, &link, &pipe, fromClient] {
      std::string buf(kChunk, '\0');
      for (;;) {
        const ssize_t n = ::recv(pipe.from, buf.data(), buf.size(), 0);
        if (n < 0 && errno == EINTR) continue;
        const Clock::time_point due = Clock::now() + delay_;
        if (fromClient && n > 0 && link.serverSpoke.exchange(false)) ++roundTrips_;
        if (fromClient && n > 0 && watcher_) watcher_(link.number, buf.data(), static_cast<size_t>(n));
        if (!fromClient && n > 0) link.serverSpoke = true;
        {
          std::lock_guard<std::mutex> lock(pipe.m);
          pipe.queue.push_back({due, n > 0 ? std::string(buf.data(), static_cast<size_t>(n)) : std::string()});
        }
        pipe.cv.notify_all();
        if (n <= 0) return;
      }
    });
    pipe.writer = std::thread([&link, &pipe] {
      for (;;) {
        Chunk c;
        {
          std::unique_lock<std::mutex> lock(pipe.m);
          pipe.cv.wait(lock, [&] { return pipe.stopped || !pipe.queue.empty(); });
          if (pipe.stopped) return;
          c = std::move(pipe.queue.front());
          pipe.queue.pop_front();
        }
        std::this_thread::sleep_until(c.due);
        if (c.data.empty()) {
          ::shutdown(pipe.to, SHUT_WR);
          return;
        }
        // The receiving side may have gone (EPIPE, ECONNRESET): that ends the
        // connection, both ways, and never raises SIGPIPE.
        for (size_t sent = 0; sent < c.data.size();) {
          const ssize_t n = ::send(pipe.to, c.data.data() + sent, c.data.size() - sent, MSG_NOSIGNAL);
          if (n < 0 && errno == EINTR) continue;
          if (n <= 0) {
            ::shutdown(link.client, SHUT_RDWR);
            ::shutdown(link.server, SHUT_RDWR);
            return;
          }
          sent += static_cast<size_t>(n);
        }
      }
    });
  }

  int target_;
  std::chrono::milliseconds delay_;
  Watcher watcher_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<long> roundTrips_{0};
  std::thread acceptor_;
  std::mutex linksMutex_;
  std::vector<std::unique_ptr<Link>> links_;
};

}  // namespace benchsupport
