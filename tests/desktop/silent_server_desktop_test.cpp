// A server that takes the connection and never answers: the program tells the
// failed connection as it does for a server it cannot reach, within its login
// bound, and the frame answers the message. Through FreeTDS and psqlODBC.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "desktop/desktop.h"
#include "desktop/program_fixture.h"

namespace desktop {
namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The program's login bound (15 s) and a margin for a loaded machine.
constexpr auto kLoginBound = 15s;
constexpr auto kToldWithin = kLoginBound + 10s;

// A loopback port: one that accepts every connection and keeps silent, or,
// closed, one where nothing listens.
class Listener {
 public:
  explicit Listener(bool silent) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&a), len) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0 || listen(fd_, 16) != 0)
      return;
    port_ = ntohs(a.sin_port);
    if (!silent) {
      close(fd_);
      fd_ = -1;
      return;
    }
    accepting_ = std::thread([this] {
      while (!stop_) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, 50) == 1) {
          const int c = accept(fd_, nullptr, nullptr);
          if (c < 0) continue;
          held_.push_back(c);
          ++accepted_;
        }
      }
    });
  }
  ~Listener() {
    stop_ = true;
    if (accepting_.joinable()) accepting_.join();
    for (int c : held_) close(c);
    if (fd_ >= 0) close(fd_);
  }
  int port() const { return port_; }
  int accepted() const { return accepted_; }

 private:
  int fd_ = -1, port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> accepted_{0};
  std::vector<int> held_;
  std::thread accepting_;
};

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST_F(DesktopTest, SilentServerIsToldWithinTheLoginBound) {
  struct Case {
    const char* name;
    const char* driver;  // as the system's driver list registers it
    bool portInServer;   // "host,port" in the server entry, else PGPORT
  };
  const std::string drivers = ReadFile("/etc/odbcinst.ini");
  // Each driver in a body of its own, so that one failing still lets the other run.
  const auto through = [&](const Case& c) {
    ASSERT_NE(drivers.find(std::string("[") + c.driver + "]"), std::string::npos)
        << c.driver << " is not registered in /etc/odbcinst.ini (scripts/install-deps.sh installs it)";
    // What the program gives for a server it cannot reach, then for the silent one.
    std::optional<std::string> unreachableTitle;
    std::optional<int> unreachableStatus;
    for (const bool silent : {false, true}) {
      SCOPED_TRACE(silent ? "silent server" : "nothing listening");
      Listener server(silent);
      ASSERT_NE(server.port(), 0) << "no loopback port";
      const std::string port = std::to_string(server.port());
      std::vector<std::string> settings = {std::string("ORTAVIA_SQL_DRIVER=") + c.driver, "ODBCSYSINI=/etc",
                                           "ORTAVIA_SQL_TRACE=1"};
      if (!c.portInServer) settings.push_back("PGPORT=" + port);
      const fs::path dir = FreshDir(std::string("silent-") + (c.portInServer ? "tds-" : "pg-") +
                                    (silent ? "silent" : "closed"));
      Program p(dir, settings);
      const Window frame = StartFrame(p);
      ASSERT_NE(OpenConnect(p, frame), 0u);
      TypeEntries(c.portInServer ? "127.0.0.1," + port : "127.0.0.1", "sistema", "datos");
      const auto pressed = std::chrono::steady_clock::now();
      x.Keys("Return");  // in an entry: "&Aceptar"
      const Window message = OtherWindow(p, {kConnect}, kToldWithin);
      const auto waited = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - pressed);
      ASSERT_NE(message, 0u) << "no message within " << kToldWithin.count() << " s\n" << ReadFile(dir / "output.txt");
      const std::string title = x.Title(message);
      x.Picture(message, std::string("desktop-") + (silent ? "silent" : "unreachable") + "-" +
                             (c.portInServer ? "freetds" : "psqlodbc") + ".png");
      // The frame's thread is free again: the box takes its key, and the
      // program goes on from there.
      ASSERT_TRUE(Focus(message));
      x.Keys("Return");
      const std::optional<int> status = p.WaitExit();
      ASSERT_TRUE(status.has_value()) << "\"" << title << "\" answered, the program neither ended nor went on";
      const std::string output = ReadFile(dir / "output.txt");
      EXPECT_NE(output.find("  -> SQLDriverConnect: "), std::string::npos) << output;
      if (!silent) {
        unreachableTitle = title;
        unreachableStatus = status;
        continue;
      }
      EXPECT_GE(server.accepted(), 1) << "the driver never reached the listener";
      EXPECT_GE(waited, kLoginBound - 1s) << "told before the bound: the listener was not what failed";
      EXPECT_EQ(title, unreachableTitle.value_or("?"));
      EXPECT_EQ(status, unreachableStatus);
      // One wait of the bound: the server that did not answer is not asked again.
      EXPECT_EQ(Count(output, "] connect Driver="), 1u) << output;
    }
  };
  for (const Case& c : {Case{"FreeTDS", "FreeTDS", true}, Case{"psqlODBC", "PostgreSQL Unicode", false}}) {
    SCOPED_TRACE(c.name);
    through(c);
  }
}

}  // namespace
}  // namespace desktop
