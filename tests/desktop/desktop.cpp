#include "desktop/desktop.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace desktop {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::string Env(const char* name, const char* fallback = "") {
  const char* v = std::getenv(name);
  return v ? v : fallback;
}

int IgnoreErrors(Display*, XErrorEvent*) { return 0; }

// Runs a helper program to its end; true when it ended with 0.
bool Run(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

std::string Show(const Rect& r) {
  std::ostringstream s;
  s << r.x << "," << r.y << " " << r.width << "x" << r.height;
  return s.str();
}

bool WaitFor(const std::function<bool()>& ready, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!ready()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

fs::path FreshDir(const std::string& name) {
  const fs::path dir = fs::path(Env("ORTAVIA_BINARY_DIR", ".")) / "desktop-runs" / name;
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// ---------------------------------------------------------------------------
// Program

Program::Program(const fs::path& dir, const std::vector<std::string>& settings) {
  const std::string program = Env("ORTAVIA_PROGRAM");
  if (program.empty()) throw std::runtime_error("ORTAVIA_PROGRAM is not set");
  pid_ = fork();
  if (pid_ == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    const int out = open("output.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out >= 0) {
      dup2(out, 1);
      dup2(out, 2);
    }
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    setenv("ORTAVIA_SQL_DRIVER", "SQLite3", 1);
    for (const std::string& setting : settings) putenv(const_cast<char*>(setting.c_str()));
    execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
}

Program::~Program() {
  if (pid_ > 0 && !status_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

std::optional<int> Program::WaitExit(std::chrono::milliseconds limit) {
  if (status_) return status_;
  WaitFor(
      [this] {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return true;
      },
      limit);
  return status_;
}

// ---------------------------------------------------------------------------
// Desktop

Desktop::Desktop() {
  dpy_ = XOpenDisplay(nullptr);
  if (!dpy_) throw std::runtime_error("cannot open the X display " + Env("DISPLAY"));
  // The program's windows may go at any moment, also between listing them and
  // reading them: a request about one that is gone fails and reads as empty,
  // where Xlib's default handler would end the test program.
  XSetErrorHandler(IgnoreErrors);
}

Desktop::~Desktop() {
  if (dpy_) XCloseDisplay(dpy_);
}

Atom Desktop::A(const char* name) { return XInternAtom(dpy_, name, False); }

namespace {
// A property's items as longs (format 32), empty when absent.
std::vector<long> Longs(Display* dpy, Window w, Atom property, Atom type = AnyPropertyType) {
  Atom actual = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::vector<long> out;
  if (XGetWindowProperty(dpy, w, property, 0, 1024, False, type, &actual, &format, &count, &after, &data) ==
          Success &&
      data && format == 32) {
    const long* items = reinterpret_cast<const long*>(data);
    out.assign(items, items + count);
  }
  if (data) XFree(data);
  return out;
}

// The pixels of a window as the X server holds them, row by row; empty when
// it cannot be read (not on the screen, gone).
std::vector<unsigned long> Pixels(Display* dpy, Window w) {
  XWindowAttributes attrs{};
  if (!XGetWindowAttributes(dpy, w, &attrs) || attrs.map_state != IsViewable) return {};
  XImage* image = XGetImage(dpy, w, 0, 0, static_cast<unsigned>(attrs.width), static_cast<unsigned>(attrs.height),
                            AllPlanes, ZPixmap);
  if (!image) return {};
  std::vector<unsigned long> out;
  out.reserve(static_cast<size_t>(attrs.width) * static_cast<size_t>(attrs.height));
  for (int y = 0; y < attrs.height; ++y)
    for (int x = 0; x < attrs.width; ++x) out.push_back(XGetPixel(image, x, y));
  XDestroyImage(image);
  return out;
}

}  // namespace

std::vector<Window> Desktop::Windows(pid_t pid) {
  XSync(dpy_, False);
  std::vector<Window> out;
  for (long w : Longs(dpy_, DefaultRootWindow(dpy_), A("_NET_CLIENT_LIST"), XA_WINDOW)) {
    const std::vector<long> owner = Longs(dpy_, static_cast<Window>(w), A("_NET_WM_PID"), XA_CARDINAL);
    if (!owner.empty() && owner[0] == pid) out.push_back(static_cast<Window>(w));
  }
  return out;
}

Window Desktop::Find(pid_t pid, const std::string& title, std::chrono::milliseconds limit) {
  Window found = 0;
  WaitFor(
      [&] {
        // Managed and mapped (normal or minimised) by the window manager.
        for (Window w : Windows(pid))
          if (Title(w) == title && WmState(w) != 0) found = w;
        return found != 0;
      },
      limit);
  return found;
}

bool Desktop::Exists(Window w) {
  XWindowAttributes attrs;
  const bool ok = XGetWindowAttributes(dpy_, w, &attrs) != 0;
  return ok;
}

std::string Desktop::Title(Window w) {
  Atom actual = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::string title;
  if (XGetWindowProperty(dpy_, w, A("_NET_WM_NAME"), 0, 1024, False, A("UTF8_STRING"), &actual, &format, &count,
                         &after, &data) == Success &&
      data)
    title.assign(reinterpret_cast<char*>(data), count);
  if (data) XFree(data);
  return title;
}

Rect Desktop::ClientRect(Window w) {
  XWindowAttributes attrs{};
  XGetWindowAttributes(dpy_, w, &attrs);
  int x = 0, y = 0;
  Window child = 0;
  XTranslateCoordinates(dpy_, w, DefaultRootWindow(dpy_), 0, 0, &x, &y, &child);
  return {x, y, attrs.width, attrs.height};
}

Rect Desktop::FrameExtents(Window w) {
  const std::vector<long> e = Longs(dpy_, w, A("_NET_FRAME_EXTENTS"), XA_CARDINAL);
  if (e.size() < 4) return {};
  return {static_cast<int>(e[0]), static_cast<int>(e[2]), static_cast<int>(e[1]), static_cast<int>(e[3])};
}

Rect Desktop::Screen() {
  return {0, 0, DisplayWidth(dpy_, DefaultScreen(dpy_)), DisplayHeight(dpy_, DefaultScreen(dpy_))};
}

std::vector<std::string> Desktop::AtomList(Window w, const char* property) {
  std::vector<std::string> names;
  for (long a : Longs(dpy_, w, A(property), XA_ATOM)) {
    char* name = XGetAtomName(dpy_, static_cast<Atom>(a));
    if (name) {
      names.emplace_back(name);
      XFree(name);
    }
  }
  return names;
}

bool Desktop::Has(Window w, const char* property, const char* atom) {
  for (const std::string& a : AtomList(w, property))
    if (a == atom) return true;
  return false;
}

long Desktop::WmState(Window w) {
  const std::vector<long> s = Longs(dpy_, w, A("WM_STATE"));
  return s.empty() ? 0 : s[0];
}

std::optional<long> Desktop::MotifFunctions(Window w) {
  const std::vector<long> h = Longs(dpy_, w, A("_MOTIF_WM_HINTS"));
  if (h.size() < 3 || !(h[0] & 1)) return std::nullopt;  // MWM_HINTS_FUNCTIONS
  return h[1];
}

std::optional<long> Desktop::MotifDecorations(Window w) {
  const std::vector<long> h = Longs(dpy_, w, A("_MOTIF_WM_HINTS"));
  if (h.size() < 3 || !(h[0] & 2)) return std::nullopt;  // MWM_HINTS_DECORATIONS
  return h[2];
}

void Desktop::SendRoot(Window w, const char* type, long a0, long a1, long a2, long a3, long a4) {
  XEvent ev{};
  ev.xclient.type = ClientMessage;
  ev.xclient.window = w;
  ev.xclient.message_type = A(type);
  ev.xclient.format = 32;
  ev.xclient.data.l[0] = a0;
  ev.xclient.data.l[1] = a1;
  ev.xclient.data.l[2] = a2;
  ev.xclient.data.l[3] = a3;
  ev.xclient.data.l[4] = a4;
  XSendEvent(dpy_, DefaultRootWindow(dpy_), False, SubstructureRedirectMask | SubstructureNotifyMask, &ev);
  XFlush(dpy_);
}

void Desktop::RequestClose(Window w) { SendRoot(w, "_NET_CLOSE_WINDOW", CurrentTime, 2); }

void Desktop::Maximize(Window w) {
  SendRoot(w, "_NET_WM_STATE", 1, static_cast<long>(A("_NET_WM_STATE_MAXIMIZED_VERT")),
           static_cast<long>(A("_NET_WM_STATE_MAXIMIZED_HORZ")), 2);
}

void Desktop::Minimize(Window w) { SendRoot(w, "WM_CHANGE_STATE", IconicState); }

void Desktop::MoveResize(Window w, const Rect& client) {
  // Static gravity: the place given is the client area's; from a pager (source 2).
  const long flags = 10 | (0xF << 8) | (2 << 12);
  SendRoot(w, "_NET_MOVERESIZE_WINDOW", flags, client.x, client.y, client.width, client.height);
}

bool Desktop::Focused(Window w) {
  Window focus = 0;
  int revert = 0;
  XGetInputFocus(dpy_, &focus, &revert);
  bool inside = false;
  for (Window at = focus; at != None && at != PointerRoot;) {
    if (at == w) {
      inside = true;
      break;
    }
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(dpy_, at, &root, &parent, &children, &count)) break;
    if (children) XFree(children);
    if (parent == root) break;
    at = parent;
  }
  return inside;
}

bool Desktop::Activate(Window w, std::chrono::milliseconds limit) {
  // The request again now and then: one made while the manager was still taking
  // the window on may come to nothing.
  auto again = std::chrono::steady_clock::now();
  return WaitFor(
      [&] {
        if (std::chrono::steady_clock::now() >= again) {
          SendRoot(w, "_NET_ACTIVE_WINDOW", 2, CurrentTime);
          again = std::chrono::steady_clock::now() + 1s;
        }
        const std::vector<long> active = Longs(dpy_, DefaultRootWindow(dpy_), A("_NET_ACTIVE_WINDOW"), XA_WINDOW);
        return !active.empty() && static_cast<Window>(active[0]) == w && Focused(w);
      },
      limit);
}

void Desktop::Keys(const std::string& keys) {
  std::vector<std::string> args{"xdotool", "key", "--delay", "30"};
  std::istringstream words(keys);
  for (std::string k; words >> k;) args.push_back(k);
  Run(args);
}

void Desktop::Type(const std::string& text) { Run({"xdotool", "type", "--delay", "15", text}); }

void Desktop::Picture(Window w, const std::string& name) {
  // The frame: the root's child that holds the client.
  Window frame = w, root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  for (Window at = w; XQueryTree(dpy_, at, &root, &parent, &children, &count); at = parent) {
    if (children) XFree(children);
    frame = at;
    if (parent == root || parent == 0) break;
  }
  const fs::path dir = fs::path(Env("ORTAVIA_BINARY_DIR", ".")) / "pictures";
  fs::create_directories(dir);
  // Taken once the program has painted the window: its pixels are not all of
  // one colour and read the same twice running. A window that keeps changing
  // is taken as it is after a while.
  std::vector<unsigned long> before;
  WaitFor(
      [&] {
        std::vector<unsigned long> now = Pixels(dpy_, w);
        const bool painted = std::adjacent_find(now.begin(), now.end(), std::not_equal_to<>()) != now.end();
        const bool settled = painted && now == before;
        before = std::move(now);
        return settled;
      },
      5s);
  Run({"import", "-window", std::to_string(frame), (dir / name).string()});
}

}  // namespace desktop
