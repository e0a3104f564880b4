// The window layer's interface. One implementation runs on Qt Widgets; tests
// use a recording stand-in. Nothing above the runtime sees the toolkit.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace rt::ui {

// Events.
inline constexpr int EVENT_Accepted = 1;
inline constexpr int EVENT_CloseWindow = 0x201;
inline constexpr int EVENT_CloseDown = 0x202;
inline constexpr int EVENT_OpenWindow = 0x203;

// Control properties.
inline constexpr int PROP_Text = 0x7C00;
inline constexpr int PROP_RangeHigh = 0x7C15;
inline constexpr int PROP_Progress = 0x7CA6;

// Message box icons and buttons.
inline constexpr int ICON_Exclamation = 0x7F04;  // stock icon number + 1, as named by its resource id
inline constexpr int BUTTON_OK = 1;
inline constexpr int BUTTON_Yes = 2;
inline constexpr int BUTTON_No = 4;
inline constexpr int BUTTON_Abort = 8;
inline constexpr int BUTTON_Retry = 16;
inline constexpr int BUTTON_Ignore = 32;
inline constexpr int BUTTON_Cancel = 64;
inline constexpr int BUTTON_Help = 128;
inline constexpr int ICON_Hand = 0x7F02;
inline constexpr int ICON_Question = 0x7F03;
inline constexpr int ICON_Asterisk = 0x7F05;

// Control kinds; a kind must be registered before a window using it is built.
inline constexpr const char* KIND_Button = "button";
inline constexpr const char* KIND_Panel = "panel";
inline constexpr const char* KIND_Entry = "entry";
inline constexpr const char* KIND_Prompt = "prompt";
inline constexpr const char* KIND_String = "string";
inline constexpr const char* KIND_Image = "image";
inline constexpr const char* KIND_Group = "group";
inline constexpr const char* KIND_Progress = "progress";

// Stock cursor: the wait cursor.
inline constexpr int CURSOR_Wait = 0x7F03;

struct Event {
  int event = 0;
  int control = 0;
};

// A bound variable: a CSTRING area of the given size that an entry edits. The
// entry is the one whose layout names the variable ("use": name); building a
// window fails when an entry names a variable not given, or a variable given
// is named by no entry. When lost is given, the layer sets it each time it
// stores the entry's text: true when the text held a character the code page
// cannot hold (stored as '?').
struct BoundVar {
  std::string_view name;
  char* data = nullptr;
  size_t size = 0;
  bool* lost = nullptr;
};

struct Geometry {
  int x = 0, y = 0, width = 0, height = 0;
};

enum class WindowState { Normal, Maximized, Minimized };

class Window {
 public:
  virtual ~Window() = default;
  virtual void Open() = 0;                  // create and show; queues EVENT:OpenWindow
  virtual bool IsOpen() const = 0;
  virtual void Close() = 0;                 // close and destroy
  // Runs the nested event loop; body is called once per event; returns when closed.
  virtual void RunAcceptLoop(const std::function<void(const Event&)>& body) = 0;
  virtual void PostEvent(const Event& ev) = 0;
  virtual std::string GetProperty(int control, int prop) = 0;
  virtual void SetProperty(int control, int prop, const std::string& value) = 0;
  virtual void RedrawControls(int first, int last) = 0;
  virtual void RefreshNow() = 0;
  virtual void SelectControl(int control) = 0;
  virtual void RequestClose() = 0;          // as the system's close box
  virtual std::string Title() const = 0;
  virtual bool Resizable() const = 0;
  virtual Geometry GetGeometry() const = 0;
  virtual void SetGeometry(const Geometry& g, bool withSize) = 0;
  virtual WindowState State() const = 0;
  virtual void SetState(WindowState s) = 0;
};

// Texts given to the layer and handed back by it (properties, bound variables)
// are Windows-1252, the program's one encoding; the layer converts them for the
// toolkit.
class WindowLayer {
 public:
  virtual ~WindowLayer() = default;
  // Builds a window (or, with frame set, the application frame) from a layout,
  // each entry bound to the variable its layout names.
  virtual std::unique_ptr<Window> BuildWindow(std::string_view moduleKey, std::string_view label,
                                              std::vector<BoundVar> vars, bool frame) = 0;
  // Modal message box; returns the button chosen.
  virtual int ShowMessageBox(const std::string& text, const std::string& caption, int icon,
                             int buttons, int defaultButton, int style) = 0;
  // Wait cursor on (restore false) or back to normal (restore true).
  virtual void SetMouseCursor(int cursor, bool restore) = 0;
  virtual void RegisterControlKind(const std::string& kind) = 0;
  // Lets the windows on screen repaint what is pending (input is held back), so
  // a caller busy for long leaves none of them unpainted.
  virtual void KeepPainted() {}
};

// The process's window layer. Set once by main (Qt) or by a test (stand-in);
// while one is set, fatal runtime errors are shown by ShowErrorMessage.
void SetWindowLayer(WindowLayer* layer);
WindowLayer& Layer();
bool HasLayer();

// An error's message box: the text under the caption, the exclamation icon and
// one OK button. Without a window layer "caption: text" goes to stderr.
void ShowErrorMessage(const std::string& text, const std::string& caption);

// The event being handled on this thread and its control, while a loop body runs.
int CurrentEvent();
int AcceptedControl();
void SetCurrentEvent(const Event& ev);  // for window implementations

}  // namespace rt::ui
