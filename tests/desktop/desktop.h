// The real program on an X desktop with a window manager: started as a child
// process, its windows found and read through the X server, driven by keys
// (xdotool) and by the requests a window manager's buttons make.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <X11/Xlib.h>

namespace desktop {

struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const Rect&) const = default;
};
std::string Show(const Rect& r);

// Polls until ready() holds or the time is up; returns whether it held. The
// limits are generous: on a loaded machine the program and the window manager
// may take seconds to answer, and a wait ends as soon as its condition holds.
constexpr std::chrono::milliseconds kPatience = std::chrono::seconds(30);
bool WaitFor(const std::function<bool()>& ready, std::chrono::milliseconds limit = kPatience);

// One run of the program in a directory of its own (its "Ortavia.INI" lives there),
// on the SQLite driver unless the settings given name another (NAME=VALUE each).
class Program {
 public:
  explicit Program(const std::filesystem::path& dir, const std::vector<std::string>& settings = {});
  ~Program();  // kills a program still running
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;
  pid_t pid() const { return pid_; }
  // The exit code, 128 + the signal for a killed process, nullopt when it still
  // runs after the time given.
  std::optional<int> WaitExit(std::chrono::milliseconds limit = kPatience);

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
};

// The X server of DISPLAY and the window manager on it.
class Desktop {
 public:
  Desktop();
  ~Desktop();
  Display* display() const { return dpy_; }

  // The managed windows of a process (the window manager's client list).
  std::vector<Window> Windows(pid_t pid);
  // The window of that process and title that the window manager manages, waiting for it.
  Window Find(pid_t pid, const std::string& title, std::chrono::milliseconds limit = kPatience);
  bool Exists(Window w);
  std::string Title(Window w);
  // The client area on the root window, and the frame the manager draws around it.
  Rect ClientRect(Window w);
  Rect FrameExtents(Window w);  // left, right, top, bottom in x, y, width, height
  Rect Screen();
  // Atom names of a list property (_NET_WM_STATE, _NET_WM_ALLOWED_ACTIONS).
  std::vector<std::string> AtomList(Window w, const char* property);
  bool Has(Window w, const char* property, const char* atom);
  // The ICCCM state: 1 normal, 3 iconic, 0 withdrawn or none.
  long WmState(Window w);
  // The function and decoration bits of _MOTIF_WM_HINTS; nullopt where the
  // window leaves them to the window manager.
  std::optional<long> MotifFunctions(Window w);
  std::optional<long> MotifDecorations(Window w);

  // What the window manager's buttons ask for.
  void RequestClose(Window w);
  void Maximize(Window w);
  void Minimize(Window w);
  void MoveResize(Window w, const Rect& client);
  // Asks the window manager to activate w and waits until the keyboard focus is
  // really in it, so that keys pressed next reach it; false when it never got there.
  // (The manager's _NET_ACTIVE_WINDOW alone is no proof: it keeps naming a window
  // that is gone, and a program started next reuses the same window ids.)
  [[nodiscard]] bool Activate(Window w, std::chrono::milliseconds limit = kPatience);
  // Whether the X keyboard focus is on w or on a window inside it.
  bool Focused(Window w);
  // Keys pressed on the focused window, as xdotool names them ("Tab", "alt+F4").
  void Keys(const std::string& keys);
  void Type(const std::string& text);
  // A picture of the window with its frame, written as <build>/pictures/<name>.
  void Picture(Window w, const std::string& name);

 private:
  Atom A(const char* name);
  void SendRoot(Window w, const char* type, long a0, long a1 = 0, long a2 = 0, long a3 = 0, long a4 = 0);
  Display* dpy_ = nullptr;
};

// The test's own directory in the build folder, emptied.
std::filesystem::path FreshDir(const std::string& name);
std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& text);

}  // namespace desktop
