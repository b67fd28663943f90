// ui_driver.exe: drives a Windows program's windows for the tests, one command at a time,
// printing what it reads so that a shell test can compare it.
//
// usage: ui_driver COMMAND...      each argument is one command
//        ui_driver -f SCRIPT       one command per line; empty lines and lines starting with # skipped
// Texts in and out are UTF-8, whatever the code page: the driver reads the windows and its own
// command line with the wide calls.
//
// Commands (a window is found by its caption among the started program's visible windows):
//   set-env NAME VALUE      set a variable of the driver's environment, which the programs it
//                           starts from then on inherit
//   start FOLDER PROGRAM [ARGUMENTS]  start PROGRAM (a full path) in FOLDER
//   attach CAPTION          wait for a visible window with that caption in any program, which
//                           becomes the started program (so that a test can drive in steps)
//   window CAPTION          wait for the window; later commands act on it
//   idle                    wait until the program is back in its message loop
//   layout                  print the window's client size, frame, centring, owner and controls
//   label                   print the first static text ("label: ...", line feeds as \n)
//   wait-label TEXT         wait until that text contains TEXT (\n: a line feed)
//   buttons                 print each button: caption, visible or hidden, default, left edge
//   click CAPTION           press the visible button with that caption
//   key enter|escape|tab    send the key to the control that has the focus
//   close                   the close box
//   lines                   print the list box lines ("line: ...")
//   wait-line PREFIX        wait until a list box line begins with PREFIX
//   top                     print the list box's top index and line count ("top: T of N")
//   scroll INDEX            scroll the list box so that line INDEX is the top one, as a user can
//   wait-button CAPTION     wait until a visible button has that caption
//   progress                print both progress bars' positions
//   open-dialog TITLE       wait for the file-open dialog; print its file name and filter
//   choose PATH             type PATH as the dialog's file name and press Open
//   cancel-dialog           press the dialog's Cancel
//   message-box TITLE       wait for a message box; print its text and press OK
//   state                   print whether the window is open, hidden or gone
//   end-session             ask each top-level window of the program whether the session may end
//                           (WM_QUERYENDSESSION, as a shutdown does); print "allowed" or "refused"
//   wait-exit               wait for the program to end; print its exit code
//   sleep MILLISECONDS
//   timeout SECONDS         how long the wait commands wait (default 30)
#include <windows.h>
#include <commctrl.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

PROCESS_INFORMATION program{};
HWND window = nullptr;
HWND dialog = nullptr;
int timeoutSeconds = 30;

struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::string Utf8(const wchar_t* text, size_t length) {
  if (length == 0) return {};
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
  if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(), bytes, nullptr, nullptr);
  return out;
}
std::string Utf8(const std::wstring& text) { return Utf8(text.data(), text.size()); }

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), length);
  return out;
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else
      out += c;
  }
  return out;
}

std::string Unescaped(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
      out += '\n';
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

// A message to the program's window, given up on when the program does not answer. Wide: texts
// cross between the processes in UTF-16, whatever either one's code page.
LRESULT Send(HWND target, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(target, message, wParam, lParam, SMTO_NORMAL, static_cast<UINT>(timeoutSeconds) * 1000,
                           &result))
    throw Failure("the program does not answer");
  return static_cast<LRESULT>(result);
}

std::string TextOf(HWND control) {
  LRESULT length = Send(control, WM_GETTEXTLENGTH);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  LRESULT copied = Send(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(copied));
  return Utf8(text);
}

std::string CaptionOf(HWND hwnd) {
  std::wstring text(512, L'\0');
  int length = GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<size_t>(length > 0 ? length : 0));
  return Utf8(text);
}

std::string ClassOf(HWND hwnd) {
  char name[64] = {};
  GetClassNameA(hwnd, name, sizeof name);
  return name;
}

bool ClassIs(HWND hwnd, const char* name) { return lstrcmpiA(ClassOf(hwnd).c_str(), name) == 0; }

template <typename Condition>
void WaitFor(const std::string& what, Condition condition) {
  DWORD deadline = GetTickCount() + static_cast<DWORD>(timeoutSeconds) * 1000;
  while (!condition()) {
    if (static_cast<LONG>(GetTickCount() - deadline) > 0) throw Failure("timed out waiting for " + what);
    Sleep(50);
  }
}

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(hwnd);
  return TRUE;
}

std::vector<HWND> TopWindows() {
  std::vector<HWND> found;
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

// A visible top-level window with that caption, of the started program unless anyProgram.
HWND FindTopWindow(const std::string& caption, const char* className = nullptr, bool anyProgram = false) {
  for (HWND hwnd : TopWindows()) {
    DWORD process = 0;
    GetWindowThreadProcessId(hwnd, &process);
    if ((!anyProgram && process != program.dwProcessId) || !IsWindowVisible(hwnd)) continue;
    // A window of no size (one that only carries a task bar button) is nothing to drive.
    RECT frame;
    if (!GetWindowRect(hwnd, &frame) || frame.right <= frame.left || frame.bottom <= frame.top) continue;
    if (className && !ClassIs(hwnd, className)) continue;
    if (caption == CaptionOf(hwnd)) return hwnd;
  }
  return nullptr;
}

std::vector<HWND> Children(HWND parent, const char* className = nullptr) {
  std::vector<HWND> found;
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    if (!className || ClassIs(child, className)) found.push_back(child);
  return found;
}

HWND Current() {
  if (!window || !IsWindow(window)) throw Failure("no window");
  return window;
}

HWND FirstOf(const char* className) {
  auto found = Children(Current(), className);
  if (found.empty()) throw Failure(std::string("no ") + className + " in the window");
  return found.front();
}

HWND VisibleButton(const std::string& caption) {
  for (HWND button : Children(Current(), "Button"))
    if (IsWindowVisible(button) && TextOf(button) == caption) return button;
  return nullptr;
}

RECT ClientRectOf(HWND control) {
  RECT rect;
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// The list box lines from `first` on. Each line costs two messages, which the program answers
// only when it processes messages: during an update, at the engine's next event.
std::vector<std::string> ListLines(LRESULT first = 0) {
  HWND list = FirstOf("ListBox");
  std::vector<std::string> lines;
  LRESULT count = Send(list, LB_GETCOUNT);
  for (LRESULT i = first; i < count; ++i) {
    // The wide message: Wine's conversion of the ANSI one between processes fails.
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0, SMTO_NORMAL, 10000, &length))
      throw Failure("the program does not answer");
    std::wstring wide(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(wide.data()), SMTO_NORMAL,
                             10000, &copied))
      throw Failure("the program does not answer");
    wide.resize(static_cast<LRESULT>(copied) < 0 ? 0 : copied);
    lines.push_back(Utf8(wide));
  }
  return lines;
}

void Click(HWND button) {
  // Posted, so that a click that opens a modal dialog does not hold the driver up.
  PostMessageA(button, BM_CLICK, 0, 0);
}

void PostKey(WORD key) {
  GUITHREADINFO thread{};
  thread.cbSize = sizeof thread;
  HWND target = Current();
  if (GetGUIThreadInfo(program.dwThreadId, &thread) && thread.hwndFocus) target = thread.hwndFocus;
  UINT scan = MapVirtualKeyA(key, 0);
  PostMessageA(target, WM_KEYDOWN, key, 1 | (scan << 16));
  PostMessageA(target, WM_KEYUP, key, 1 | (scan << 16) | (3u << 30));
}

HWND WaitForDialog(const std::string& title) {
  HWND found = nullptr;
  WaitFor("the dialog \"" + title + "\"", [&] { return (found = FindTopWindow(title, "#32770")) != nullptr; });
  return found;
}

BOOL CALLBACK FindEdit(HWND child, LPARAM result) {
  if (!ClassIs(child, "Edit")) return TRUE;
  *reinterpret_cast<HWND*>(result) = child;
  return FALSE;
}

HWND FirstEditWithin(HWND parent) {
  HWND found = nullptr;
  EnumChildWindows(parent, FindEdit, reinterpret_cast<LPARAM>(&found));
  return found;
}

HWND DialogFileNameEdit() {
  // The explorer-style dialog's file name box (cmb13) holds the edit a few levels down; the
  // old-style dialog has a plain edit (edt1).
  if (HWND box = GetDlgItem(dialog, 0x47c))
    if (HWND edit = FirstEditWithin(box)) return edit;
  if (HWND edit = GetDlgItem(dialog, 0x480)) return edit;
  throw Failure("the dialog has no file name box");
}

void PressDialogButton(HWND box, int id) {
  HWND button = GetDlgItem(box, id);
  if (!button) throw Failure("the dialog has no button " + std::to_string(id));
  Click(button);
}

void PrintLayout() {
  HWND hwnd = Current();
  RECT client, frame;
  GetClientRect(hwnd, &client);
  GetWindowRect(hwnd, &frame);
  LONG style = GetWindowLongA(hwnd, GWL_STYLE);
  HMONITOR monitorHandle = MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoA(monitorHandle, &monitor);
  int spareX = (monitor.rcMonitor.right - monitor.rcMonitor.left) - (frame.right - frame.left);
  int spareY = (monitor.rcMonitor.bottom - monitor.rcMonitor.top) - (frame.bottom - frame.top);
  bool centred = std::abs((frame.left - monitor.rcMonitor.left) - spareX / 2) <= 1 &&
                 std::abs((frame.top - monitor.rcMonitor.top) - spareY / 2) <= 1;
  std::printf("client %ldx%ld\n", client.right, client.bottom);
  std::printf("frame: %s %s %s %s %s\n", (style & WS_CAPTION) == WS_CAPTION ? "caption" : "no-caption",
              (style & WS_SYSMENU) ? "close-box" : "no-close-box", (style & WS_THICKFRAME) ? "sizable" : "fixed",
              (style & WS_MINIMIZEBOX) ? "minimize-box" : "no-minimize-box",
              (style & WS_MAXIMIZEBOX) ? "maximize-box" : "no-maximize-box");
  std::printf("centred: %s\n", centred ? "yes" : "no");
  // The task bar shows the owner's caption, when the window has a visible owner.
  HWND owner = GetWindow(hwnd, GW_OWNER);
  std::printf("owner: %s\n", !owner ? "none" : ("\"" + CaptionOf(owner) + "\"" + (IsWindowVisible(owner) ? "" : " hidden")).c_str());
  for (HWND child : Children(hwnd)) {
    RECT at = ClientRectOf(child);
    std::printf("%s \"%s\" %ld,%ld %ldx%ld %s\n", ClassOf(child).c_str(), Escaped(TextOf(child)).c_str(), at.left,
                at.top, at.right - at.left, at.bottom - at.top, IsWindowVisible(child) ? "visible" : "hidden");
  }
}

std::string Word(std::string& rest) {
  size_t start = rest.find_first_not_of(' ');
  if (start == std::string::npos) {
    rest.clear();
    return {};
  }
  rest.erase(0, start);
  std::string word;
  size_t end;
  if (rest[0] == '"') {
    end = rest.find('"', 1);
    if (end == std::string::npos) throw Failure("unclosed quote");
    word = rest.substr(1, end - 1);
    ++end;
  } else {
    end = rest.find(' ');
    if (end == std::string::npos) end = rest.size();
    word = rest.substr(0, end);
  }
  rest.erase(0, end);
  size_t next = rest.find_first_not_of(' ');
  rest.erase(0, next == std::string::npos ? rest.size() : next);
  return word;
}

void Run(const std::string& line) {
  std::string rest = line;
  std::string command = Word(rest);
  const std::string& argument = rest;  // the rest of the line, as it stands

  if (command == "start") {
    std::string folder = Word(rest);
    std::string path = Word(rest);
    std::wstring commandLine = Wide("\"" + path + "\"" + (rest.empty() ? "" : " " + rest));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(Wide(path).c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, Wide(folder).c_str(),
                        &startup, &program))
      throw Failure("cannot start " + path + " (error " + std::to_string(GetLastError()) + ")");
  } else if (command == "set-env") {
    std::string name = Word(rest);
    if (!SetEnvironmentVariableW(Wide(name).c_str(), Wide(rest).c_str())) throw Failure("cannot set " + name);
  } else if (command == "attach") {
    HWND found = nullptr;
    WaitFor("a window \"" + argument + "\"", [&] { return (found = FindTopWindow(argument, nullptr, true)) != nullptr; });
    program.dwThreadId = GetWindowThreadProcessId(found, &program.dwProcessId);
    program.hProcess = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, program.dwProcessId);
    window = found;
  } else if (command == "window") {
    WaitFor("the window \"" + argument + "\"", [&] { return (window = FindTopWindow(argument)) != nullptr; });
  } else if (command == "idle") {
    for (int i = 0; i < 2; ++i) {
      Send(Current(), WM_NULL);
      Sleep(100);
    }
  } else if (command == "layout") {
    PrintLayout();
  } else if (command == "label") {
    std::printf("label: %s\n", Escaped(TextOf(FirstOf("Static"))).c_str());
  } else if (command == "wait-label") {
    std::string wanted = Unescaped(argument);
    WaitFor("the label to hold \"" + argument + "\"",
            [&] { return TextOf(FirstOf("Static")).find(wanted) != std::string::npos; });
  } else if (command == "buttons") {
    for (HWND button : Children(Current(), "Button")) {
      RECT at = ClientRectOf(button);
      LONG type = GetWindowLongA(button, GWL_STYLE) & BS_TYPEMASK;
      std::printf("button \"%s\" %s%s left %ld\n", TextOf(button).c_str(), IsWindowVisible(button) ? "visible" : "hidden",
                  type == BS_DEFPUSHBUTTON ? " default" : "", at.left);
    }
  } else if (command == "click") {
    HWND button = VisibleButton(argument);
    if (!button) throw Failure("no visible button \"" + argument + "\"");
    Click(button);
  } else if (command == "key") {
    WORD key = argument == "enter" ? VK_RETURN : argument == "escape" ? VK_ESCAPE : argument == "tab" ? VK_TAB : 0;
    if (!key) throw Failure("unknown key " + argument);
    PostKey(key);
  } else if (command == "close") {
    PostMessageA(Current(), WM_SYSCOMMAND, SC_CLOSE, 0);
  } else if (command == "lines") {
    for (const std::string& text : ListLines()) std::printf("line: %s\n", text.c_str());
  } else if (command == "wait-line") {
    LRESULT seen = 0;
    WaitFor("a line beginning \"" + argument + "\"", [&] {
      auto lines = ListLines(seen);
      seen += static_cast<LRESULT>(lines.size());
      for (const std::string& text : lines)
        if (text.compare(0, argument.size(), argument) == 0) return true;
      return false;
    });
  } else if (command == "top") {
    HWND list = FirstOf("ListBox");
    std::printf("top: %ld of %ld\n", static_cast<long>(Send(list, LB_GETTOPINDEX)), static_cast<long>(Send(list, LB_GETCOUNT)));
  } else if (command == "scroll") {
    Send(FirstOf("ListBox"), LB_SETTOPINDEX, static_cast<WPARAM>(std::atoi(argument.c_str())));
  } else if (command == "wait-button") {
    WaitFor("the button \"" + argument + "\"", [&] { return VisibleButton(argument) != nullptr; });
  } else if (command == "progress") {
    auto bars = Children(Current(), PROGRESS_CLASSA);
    if (bars.size() != 2) throw Failure("the window has " + std::to_string(bars.size()) + " progress bars");
    std::printf("progress: %ld %ld\n", static_cast<long>(Send(bars[0], PBM_GETPOS)),
                static_cast<long>(Send(bars[1], PBM_GETPOS)));
  } else if (command == "open-dialog") {
    dialog = WaitForDialog(argument);
    std::string filter = GetDlgItem(dialog, 0x470) ? TextOf(GetDlgItem(dialog, 0x470)) : "";
    std::printf("dialog: \"%s\" file \"%s\" filter \"%s\"\n", argument.c_str(), TextOf(DialogFileNameEdit()).c_str(),
                filter.c_str());
  } else if (command == "choose" || command == "cancel-dialog") {
    if (!dialog || !IsWindow(dialog)) throw Failure("no file-open dialog");
    if (command == "choose") Send(DialogFileNameEdit(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Wide(argument).c_str()));
    PressDialogButton(dialog, command == "choose" ? IDOK : IDCANCEL);
    HWND closing = dialog;
    WaitFor("the file-open dialog to close", [&] { return !IsWindow(closing) || !IsWindowVisible(closing); });
    dialog = nullptr;
  } else if (command == "message-box") {
    HWND box = WaitForDialog(argument);
    std::string text;
    for (HWND label : Children(box, "Static"))
      if (!(GetWindowLongA(label, GWL_STYLE) & SS_ICON) && !TextOf(label).empty()) text = TextOf(label);
    std::printf("message-box: \"%s\" \"%s\"\n", argument.c_str(), Escaped(text).c_str());
    PressDialogButton(box, IDOK);
    WaitFor("the message box to close", [&] { return !IsWindow(box) || !IsWindowVisible(box); });
  } else if (command == "end-session") {
    bool refused = false;
    for (HWND hwnd : TopWindows()) {
      DWORD process = 0;
      GetWindowThreadProcessId(hwnd, &process);
      if (process == program.dwProcessId && Send(hwnd, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF) == FALSE) refused = true;
    }
    std::printf("end-session: %s\n", refused ? "refused" : "allowed");
  } else if (command == "state") {
    std::printf("state: %s\n", !window || !IsWindow(window) ? "gone" : IsWindowVisible(window) ? "open" : "hidden");
  } else if (command == "wait-exit") {
    if (!program.hProcess) throw Failure("no program started");
    if (WaitForSingleObject(program.hProcess, static_cast<DWORD>(timeoutSeconds) * 1000) != WAIT_OBJECT_0)
      throw Failure("the program did not end");
    DWORD code = 0;
    GetExitCodeProcess(program.hProcess, &code);
    std::printf("exit: %lu\n", code);
  } else if (command == "sleep") {
    Sleep(static_cast<DWORD>(std::atoi(argument.c_str())));
  } else if (command == "timeout") {
    timeoutSeconds = std::atoi(argument.c_str());
  } else {
    throw Failure("unknown command " + command);
  }
  std::fflush(stdout);
}

}  // namespace

int main() {
  _setmode(_fileno(stdout), _O_BINARY);  // plain line feeds, for the shell test to compare
  // The arguments in UTF-8: the code page's argv would lose what it has no character for.
  int argc = 0;
  LPWSTR* wideArgv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::vector<std::string> argv;
  for (int i = 0; i < argc; ++i) argv.push_back(Utf8(wideArgv[i], wcslen(wideArgv[i])));
  LocalFree(wideArgv);
  std::vector<std::string> commands;
  if (argc == 3 && argv[1] == "-f") {
    std::ifstream script(argv[2]);
    if (!script) {
      std::printf("error: cannot read %s\n", argv[2].c_str());
      return 2;
    }
    for (std::string line; std::getline(script, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty() && line[0] != '#') commands.push_back(line);
    }
  } else {
    commands.assign(argv.begin() + (argc > 0 ? 1 : 0), argv.end());
  }
  for (const std::string& command : commands) {
    try {
      Run(command);
    } catch (const std::exception& error) {
      std::printf("error: %s: %s\n", command.c_str(), error.what());
      std::fflush(stdout);
      // A program left running would hold the test up.
      if (program.hProcess && WaitForSingleObject(program.hProcess, 0) == WAIT_TIMEOUT)
        TerminateProcess(program.hProcess, 99);
      return 1;
    }
  }
  return 0;
}
