// The program's windows as the desktop tests find and drive them: the titles,
// the _MOTIF_WM_HINTS bits, and a fixture that starts the program and reaches
// "Crea Esquema" from the keyboard.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "desktop/desktop.h"

namespace desktop {

inline const std::string kFrame = "Quorvex SQL 13.2";
inline const std::string kConnect = "Crea Esquema";

// _MOTIF_WM_HINTS bits.
namespace motif {
inline constexpr long kDecorAll = 1, kDecorTitle = 8, kDecorMenu = 16, kDecorMinimize = 32, kDecorMaximize = 64;
inline constexpr long kFuncAll = 1, kFuncMinimize = 8, kFuncMaximize = 16, kFuncClose = 32;
}  // namespace motif

inline std::string IniValue(const std::filesystem::path& dir, const std::string& key) {
  const std::string ini = ReadFile(dir / "Ortavia.INI");
  std::smatch m;
  if (std::regex_search(ini, m, std::regex("(^|\\n)" + key + "=([^\\r\\n]*)"))) return m[2];
  return {};
}

class DesktopTest : public ::testing::Test {
 protected:
  Desktop x;

  // Starts the program and waits for its frame.
  Window StartFrame(Program& p) {
    const Window frame = x.Find(p.pid(), kFrame);
    EXPECT_NE(frame, 0u) << "the frame did not show";
    return frame;
  }
  // The frame closed through the window manager; the program must end with 0.
  void CloseAndExpectZero(Program& p, Window frame, const std::filesystem::path& dir) {
    x.RequestClose(frame);
    EXPECT_EQ(p.WaitExit(), 0) << ReadFile(dir / "output.txt");
  }
  // The window of the program, on the screen under the window manager, that is
  // neither the frame nor one of those titles; 0 when none shows within the limit.
  Window OtherWindow(Program& p, const std::vector<std::string>& besides, std::chrono::milliseconds limit = kPatience) {
    Window found = 0;
    WaitFor([&] {
      for (Window w : x.Windows(p.pid())) {
        const std::string t = x.Title(w);
        if (t != kFrame && std::find(besides.begin(), besides.end(), t) == besides.end() && x.WmState(w) != 0)
          found = w;
      }
      return found != 0;
    }, limit);
    return found;
  }
  // Gives w the keyboard focus for the keys that follow; a failure when it never gets it.
  bool Focus(Window w) {
    const bool focused = x.Activate(w);
    EXPECT_TRUE(focused) << "\"" << x.Title(w) << "\" did not get the keyboard focus";
    return focused;
  }
  // Presses the frame's schema button from the keyboard and waits for "Crea Esquema".
  Window OpenConnect(Program& p, Window frame) {
    if (!Focus(frame)) return 0;
    x.Keys("Return");  // the schema button has the focus when the frame opens
    const Window connect = x.Find(p.pid(), kConnect);
    EXPECT_NE(connect, 0u) << "\"Crea Esquema\" did not show";
    if (connect == 0 || !Focus(connect)) return 0;
    return connect;
  }
  // The client area once the window manager has framed the window and the
  // area is as ready wants it: the manager and the program place it in their
  // own time. The last area read when it never gets there.
  Rect PlacedWhen(Window w, const std::function<bool(const Rect&)>& ready) {
    Rect r;
    const bool placed = WaitFor([&] {
      r = x.ClientRect(w);
      return x.FrameExtents(w) != Rect{} && ready(r);
    });
    EXPECT_TRUE(placed) << "\"" << x.Title(w) << "\" stayed at " << Show(r);
    return r;
  }
  bool Maximized(Window w) {
    return x.Has(w, "_NET_WM_STATE", "_NET_WM_STATE_MAXIMIZED_VERT") &&
           x.Has(w, "_NET_WM_STATE", "_NET_WM_STATE_MAXIMIZED_HORZ");
  }
  // The frame's outer corner at the screen's: the client just inside it.
  bool AtTopLeft(Window w, const Rect& client) {
    const Rect e = x.FrameExtents(w);
    return client.x == e.x && client.y == e.y;
  }
  static bool Near(const Rect& a, const Rect& b, int by) {
    return std::abs(a.x - b.x) <= by && std::abs(a.y - b.y) <= by && std::abs(a.width - b.width) <= by &&
           std::abs(a.height - b.height) <= by;
  }
  // Types server and both databases (files in the program's directory unless a
  // folder is given); the login shows "admin" already.
  void TypeEntries(const std::string& folder = "") { TypeEntries("localhost", folder + "server.db", folder + "data.db"); }
  void TypeEntries(const std::string& server, const std::string& serverDatabase, const std::string& dataDatabase) {
    x.Type(server);
    x.Keys("Tab");
    x.Type(serverDatabase);
    x.Keys("Tab");
    x.Type(dataDatabase);
  }
};

}  // namespace desktop
