// The program as a Linux user runs it: the xcb platform under a window manager.
// Its exit code, the frame's place kept in "Ortavia.INI" over restarts, the keys
// and close requests of "Crea Esquema", the progress window's decorations.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>

#include "desktop/desktop.h"
#include "desktop/program_fixture.h"

namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;
using desktop::Desktop;
using desktop::DesktopTest;
using desktop::Program;
using desktop::Rect;
using namespace desktop::motif;
using desktop::IniValue;
using desktop::kConnect;
using desktop::kFrame;

TEST_F(DesktopTest, ClosingTheFrameEndsWithZero) {
  struct Case {
    const char* name;
    std::string keys;  // empty: the window manager's close request
  };
  // Salir is the button after the schema button, which has the focus.
  for (const Case& c : {Case{"close request", ""}, Case{"Alt+F4", "alt+F4"}, Case{"Salir", "Tab space"}}) {
    SCOPED_TRACE(c.name);
    const fs::path dir = desktop::FreshDir(std::string("exit-") + (c.keys.empty() ? "request" : "keys"));
    Program p(dir);
    const Window frame = StartFrame(p);
    if (c.keys.empty()) {
      x.RequestClose(frame);
    } else {
      ASSERT_TRUE(Focus(frame));
      x.Keys(c.keys);
    }
    EXPECT_EQ(p.WaitExit(), 0) << desktop::ReadFile(dir / "output.txt");
  }
}

// Whatever started the program sees the failed run: a non-zero exit status.
TEST_F(DesktopTest, OkOnAFatalMessageEndsWithAFailure) {
  const fs::path dir = desktop::FreshDir("fatal");
  Program p(dir);
  const Window frame = StartFrame(p);
  x.Picture(frame, "desktop-frame.png");
  ASSERT_NE(OpenConnect(p, frame), 0u);
  TypeEntries("/nonexistent-folder/");
  x.Keys("Return");  // in an entry: the default button, "&Aceptar"
  const Window message = x.Find(p.pid(), "File Access Error");
  ASSERT_NE(message, 0u) << "no fatal message";
  x.Picture(message, "desktop-fatal.png");
  ASSERT_TRUE(Focus(message));
  x.Keys("Return");
  const std::optional<int> status = p.WaitExit();
  ASSERT_TRUE(status.has_value()) << "the program went on after OK";
  EXPECT_NE(*status, 0) << desktop::ReadFile(dir / "output.txt");
}

// What a key or a close request on "Crea Esquema" leads to: the creation (the
// progress window shows) or the check of the entries ("Error": data missing).
TEST_F(DesktopTest, KeysAndCloseRequestOnCreaEsquema) {
  enum class Outcome { Creation, Cancelled };
  struct Case {
    const char* name;
    std::string keys;  // after the entries are typed; empty: a close request
    Outcome outcome;
  };
  const Case cases[] = {
      {"Enter in an entry", "Return", Outcome::Creation},
      {"Enter on the focused &Aceptar", "Tab Tab Tab Return", Outcome::Creation},
      {"Enter on the focused &Cancelar", "Tab Tab Tab Tab Return", Outcome::Cancelled},
      {"Space on the focused &Cancelar", "Tab Tab Tab Tab space", Outcome::Cancelled},
      {"Alt+F4", "alt+F4", Outcome::Cancelled},
      {"close request", "", Outcome::Cancelled},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path dir = desktop::FreshDir("connect-" + std::to_string(n++));
    Program p(dir);
    const Window frame = StartFrame(p);
    const Window connect = OpenConnect(p, frame);
    ASSERT_NE(connect, 0u);
    if (n == 1) {
      // No system menu: the window asks for no close box (nor minimise or maximise).
      const auto functions = x.MotifFunctions(connect);
      ASSERT_TRUE(functions.has_value()) << "the window leaves its buttons to the window manager";
      EXPECT_EQ(*functions & (kFuncAll | kFuncClose | kFuncMinimize | kFuncMaximize), 0) << *functions;
      x.Picture(connect, "desktop-connect.png");
    }
    TypeEntries();
    if (c.keys.empty())
      x.RequestClose(connect);
    else
      x.Keys(c.keys);
    const Window next = OtherWindow(p, {kConnect});
    ASSERT_NE(next, 0u) << "nothing followed";
    if (x.Title(next).find("Error") != std::string::npos && x.Title(next) != "Error")
      x.Picture(next, "desktop-unexpected.png");
    if (c.outcome == Outcome::Cancelled) {
      EXPECT_EQ(x.Title(next), "Error");
      EXPECT_FALSE(fs::exists(dir / "data.db")) << "the creation ran";
      if (c.keys.empty()) x.Picture(next, "desktop-missing-entries.png");
      ASSERT_TRUE(Focus(next));
      x.Keys("Return");
      EXPECT_TRUE(desktop::WaitFor([&] { return !x.Exists(next); }));
    } else {
      EXPECT_EQ(x.MotifDecorations(next), 0) << "not the progress window: " << x.Title(next);
      // The creation runs: its databases appear; the window closes with Escape once done.
      EXPECT_TRUE(desktop::WaitFor([&] { return fs::exists(dir / "data.db"); }));
      ASSERT_TRUE(Focus(next));
      x.Keys("Escape");
      EXPECT_TRUE(desktop::WaitFor([&] { return !x.Exists(next); }, 120s)) << "the progress window stayed";
    }
    CloseAndExpectZero(p, frame, dir);
  }
}

TEST_F(DesktopTest, ProgressWindowHasNoTitleAndNoButtons) {
  const fs::path dir = desktop::FreshDir("progress");
  Program p(dir);
  const Window frame = StartFrame(p);
  ASSERT_NE(OpenConnect(p, frame), 0u);
  TypeEntries();
  x.Keys("Return");
  const Window progress = OtherWindow(p, {kConnect});
  ASSERT_NE(progress, 0u);
  x.Picture(progress, "desktop-progress.png");
  const auto decorations = x.MotifDecorations(progress);
  ASSERT_TRUE(decorations.has_value()) << "the window manager decorates it fully";
  EXPECT_EQ(*decorations & (kDecorAll | kDecorTitle | kDecorMenu | kDecorMinimize | kDecorMaximize), 0)
      << "decorations " << *decorations;
  EXPECT_EQ(x.FrameExtents(progress).y, 0) << "the window manager gave it a title bar";
  EXPECT_FALSE(x.Has(progress, "_NET_WM_ALLOWED_ACTIONS", "_NET_WM_ACTION_MAXIMIZE_HORZ"));
  // Under the window manager all the same: managed and on screen.
  EXPECT_NE(x.WmState(progress), 0);
  ASSERT_TRUE(Focus(progress));
  x.Keys("Escape");
  EXPECT_TRUE(desktop::WaitFor([&] { return !x.Exists(progress); }, 120s));
  CloseAndExpectZero(p, frame, dir);
}

// Three restarts after the frame was left in one way: each shows it so again,
// and "Ortavia.INI" reads the same after each.
TEST_F(DesktopTest, FramePlaceKeptOverRestarts) {
  enum class Left { Moved, Maximized, Minimized, SavedTopLeft };
  struct Case {
    const char* name;
    Left left;
  };
  for (const Case& c : {Case{"moved and resized", Left::Moved}, Case{"maximised", Left::Maximized},
                        Case{"minimised", Left::Minimized}, Case{"saved at 0,0", Left::SavedTopLeft}}) {
    SCOPED_TRACE(c.name);
    const fs::path dir = desktop::FreshDir(std::string("place-") + std::to_string(int(c.left)));
    Rect first;
    {
      if (c.left == Left::SavedTopLeft)
        desktop::WriteFile(dir / "Ortavia.INI",
                           "[Main]\nMaximize=No\nMinimize=No\nXPos=0\nYPos=0\nWidth=505\nHeight=318\n");
      Program p(dir);
      const Window frame = StartFrame(p);
      ASSERT_NE(frame, 0u);
      // Left so once the window manager has answered.
      switch (c.left) {
        case Left::Moved: {
          const Rect asked{140, 170, 640, 420};
          x.MoveResize(frame, asked);
          first = PlacedWhen(frame, [&](const Rect& r) { return r == asked; });
          break;
        }
        case Left::Maximized:
          x.Maximize(frame);
          EXPECT_TRUE(desktop::WaitFor([&] { return Maximized(frame); })) << "not maximised";
          break;
        case Left::Minimized:
          x.Minimize(frame);
          EXPECT_TRUE(desktop::WaitFor([&] { return x.WmState(frame) == 3; })) << "not minimised";
          break;
        case Left::SavedTopLeft:
          first = PlacedWhen(frame, [&](const Rect& r) { return AtTopLeft(frame, r); });
          break;
      }
      CloseAndExpectZero(p, frame, dir);
    }
    const std::string savedIni = desktop::ReadFile(dir / "Ortavia.INI");
    std::optional<Rect> restarted;
    EXPECT_EQ(IniValue(dir, "Maximize"), c.left == Left::Maximized ? "Yes" : "No");
    EXPECT_EQ(IniValue(dir, "Minimize"), c.left == Left::Minimized ? "Yes" : "No");
    for (int run = 1; run <= 3; ++run) {
      SCOPED_TRACE("restart " + std::to_string(run));
      Program p(dir);
      const Window frame = StartFrame(p);
      ASSERT_NE(frame, 0u);
      // Shown as it was left once the program and the window manager are done placing it.
      Rect now;
      switch (c.left) {
        case Left::Moved:
        case Left::SavedTopLeft:
          now = PlacedWhen(frame, [&](const Rect& r) { return Near(r, first, 2); });
          // Kept in layout units: within a unit of where it was left, then the same each time.
          EXPECT_NEAR(now.x, first.x, 2);
          EXPECT_NEAR(now.y, first.y, 2);
          EXPECT_NEAR(now.width, first.width, 2);
          EXPECT_NEAR(now.height, first.height, 2);
          if (restarted) {
            EXPECT_EQ(desktop::Show(now), desktop::Show(*restarted));
          }
          restarted = now;
          EXPECT_FALSE(x.Has(frame, "_NET_WM_STATE", "_NET_WM_STATE_MAXIMIZED_VERT"));
          break;
        case Left::Maximized:
          desktop::WaitFor([&] { return Maximized(frame); });
          EXPECT_TRUE(x.Has(frame, "_NET_WM_STATE", "_NET_WM_STATE_MAXIMIZED_VERT"));
          EXPECT_TRUE(x.Has(frame, "_NET_WM_STATE", "_NET_WM_STATE_MAXIMIZED_HORZ"));
          if (run == 1) x.Picture(frame, "desktop-frame-maximised.png");
          break;
        case Left::Minimized:
          desktop::WaitFor([&] { return x.WmState(frame) == 3; });
          EXPECT_EQ(x.WmState(frame), 3) << "not minimised";
          break;
      }
      if (c.left == Left::SavedTopLeft) {
        // The frame's outer corner at the screen's: the client just inside it.
        const Rect e = x.FrameExtents(frame);
        EXPECT_EQ(now.x, e.x);
        EXPECT_EQ(now.y, e.y);
      }
      CloseAndExpectZero(p, frame, dir);
      EXPECT_EQ(desktop::ReadFile(dir / "Ortavia.INI"), savedIni);
    }
  }
}

TEST_F(DesktopTest, DamagedPlaceStillShowsTheFrameOnScreen) {
  struct Case {
    const char* name;
    const char* main;
  };
  for (const Case& c : {Case{"huge size", "XPos=10\nYPos=10\nWidth=2147483647\nHeight=2147483647\n"},
                        Case{"far off every screen", "XPos=-900000\nYPos=2000000000\nWidth=505\nHeight=318\n"},
                        Case{"negative size", "XPos=30\nYPos=30\nWidth=-5\nHeight=-2147483648\n"}}) {
    SCOPED_TRACE(c.name);
    const fs::path dir = desktop::FreshDir("damaged");
    desktop::WriteFile(dir / "Ortavia.INI", std::string("[Main]\nMaximize=No\nMinimize=No\n") + c.main);
    Program p(dir);
    const Window frame = StartFrame(p);
    ASSERT_NE(frame, 0u);
    const Rect screen = x.Screen();
    // Read once the program has brought it onto the screen.
    const Rect r = PlacedWhen(frame, [&](const Rect& r) {
      return r.x >= 0 && r.y >= 0 && r.x + r.width <= screen.width && r.y + r.height <= screen.height &&
             r.width > 50 && r.height > 50;
    });
    EXPECT_GE(r.x, 0) << desktop::Show(r);
    EXPECT_GE(r.y, 0) << desktop::Show(r);
    EXPECT_LE(r.x + r.width, screen.width) << desktop::Show(r);
    EXPECT_LE(r.y + r.height, screen.height) << desktop::Show(r);
    EXPECT_GT(r.width, 50) << desktop::Show(r);
    EXPECT_GT(r.height, 50) << desktop::Show(r);
    CloseAndExpectZero(p, frame, dir);
  }
}

}  // namespace
