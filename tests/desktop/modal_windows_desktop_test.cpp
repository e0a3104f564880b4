// What the window manager lets the user do with the modal windows, and the
// frame's default place on a screen too small for it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>

#include "desktop/desktop.h"
#include "desktop/program_fixture.h"

namespace desktop {
namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The window manager offers no maximise. (Openbox offers minimise for every
// window but menus and toolbars, whatever the hints say; a modal window minimised
// goes with the frame it belongs to: MinimisedModalWindowComesBackWithTheFrame.)
void ExpectNeitherMinimiseNorMaximise(Desktop& x, Window w) {
  const std::vector<std::string> allowed = x.AtomList(w, "_NET_WM_ALLOWED_ACTIONS");
  ASSERT_FALSE(allowed.empty()) << "\"" << x.Title(w) << "\": no allowed actions";
  for (const char* action : {"_NET_WM_ACTION_MAXIMIZE_HORZ", "_NET_WM_ACTION_MAXIMIZE_VERT"})
    EXPECT_TRUE(std::find(allowed.begin(), allowed.end(), action) == allowed.end())
        << "\"" << x.Title(w) << "\" allows " << action;
}

TEST_F(DesktopTest, ModalWindowsOfferNeitherMinimiseNorMaximise) {
  const fs::path dir = FreshDir("modal-actions");
  Program p(dir);
  const Window frame = StartFrame(p);
  const Window connect = OpenConnect(p, frame);
  ASSERT_NE(connect, 0u);
  ExpectNeitherMinimiseNorMaximise(x, connect);
  // Accepted with nothing typed: the message box on the missing entries.
  x.Keys("Tab Tab Tab Tab Return");
  const Window message = x.Find(p.pid(), "Error");
  ASSERT_NE(message, 0u) << "no message on the missing entries";
  x.Picture(message, "desktop-message-actions.png");
  ExpectNeitherMinimiseNorMaximise(x, message);
  ASSERT_TRUE(Focus(message));
  x.Keys("Return");
  EXPECT_TRUE(WaitFor([&] { return !x.Exists(message); }));
  CloseAndExpectZero(p, frame, dir);
}

// Minimised all the same (a client's request, another window manager's key):
// activating the frame it blocks brings it back, ready for the keyboard.
TEST_F(DesktopTest, MinimisedModalWindowComesBackWithTheFrame) {
  const fs::path dir = FreshDir("modal-minimised");
  Program p(dir);
  const Window frame = StartFrame(p);
  const Window connect = OpenConnect(p, frame);
  ASSERT_NE(connect, 0u);
  x.Minimize(connect);
  ASSERT_TRUE(WaitFor([&] { return x.WmState(connect) == 3; })) << "the window manager did not minimise it";
  static_cast<void>(x.Activate(frame, 2s));  // the focus goes where the program puts it
  EXPECT_TRUE(WaitFor([&] { return x.WmState(connect) == 1; })) << "\"Crea Esquema\" stayed minimised";
  x.Picture(frame, "desktop-modal-back.png");
  ASSERT_TRUE(Focus(connect));
  x.Keys("alt+F4");  // cancelled: the message on the missing entries
  const Window message = x.Find(p.pid(), "Error");
  ASSERT_NE(message, 0u);
  ASSERT_TRUE(Focus(message));
  x.Keys("Return");
  EXPECT_TRUE(WaitFor([&] { return !x.Exists(message); }));
  CloseAndExpectZero(p, frame, dir);
}

// Without "Ortavia.INI" the frame takes its layout's size at the window
// system's place; on a screen smaller than that (a scaled desktop) it is fitted
// to the screen, title bar and buttons included, as a stored place is.
TEST_F(DesktopTest, DefaultPlaceFitsAScreenSmallerThanTheFrame) {
  for (const char* scale : {"2"}) {
    SCOPED_TRACE(std::string("QT_SCALE_FACTOR=") + scale);
    const fs::path dir = FreshDir(std::string("default-place-") + scale);
    Program p(dir, {std::string("QT_SCALE_FACTOR=") + scale});
    const Window frame = StartFrame(p);
    ASSERT_NE(frame, 0u);
    const Rect screen = x.Screen();
    const auto onScreen = [&] {
      const Rect r = x.ClientRect(frame), e = x.FrameExtents(frame);
      return r.x - e.x >= 0 && r.y - e.y >= 0 && r.x + r.width + e.width <= screen.width &&
             r.y + r.height + e.height <= screen.height;
    };
    EXPECT_TRUE(WaitFor(onScreen, 5s)) << Show(x.ClientRect(frame)) << " frame " << Show(x.FrameExtents(frame))
                                       << " on " << Show(screen);
    x.Picture(frame, std::string("desktop-default-place-") + scale + ".png");
    CloseAndExpectZero(p, frame, dir);
  }
}

}  // namespace
}  // namespace desktop
