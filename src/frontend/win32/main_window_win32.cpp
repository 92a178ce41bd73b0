// The main window with Win32: a resizable top-level window with the row of
// controls at their twip positions, converted with the window's own DPI.
#include <windows.h>

#include <memory>

#include "frontend/error_box.h"
#include "frontend/window.h"

namespace voderer::frontend {
namespace {

constexpr wchar_t kClassName[] = L"VodererForm1";
constexpr int kIconId = 1;  // the icon resource, also the executable's icon

// Control ids; 1 and 2 (IDOK, IDCANCEL) are what the dialog manager sends
// for Return and Escape, which no control here answers to.
enum : int { kText1 = 101, kCommand2, kCommand1, kCommand3 };

// Posted by the launcher's thread when the patch script has ended.
constexpr UINT kScriptEnded = WM_APP + 1;

struct Placement {
  int id;
  int left, top, width, height;  // twips
};
// In tab order.
constexpr Placement kControls[] = {
    {kText1, 0, 0, 2535, 375},
    {kCommand2, 2520, 0, 495, 375},
    {kCommand1, 3000, 0, 615, 375},
    {kCommand3, 3600, 0, 495, 375},
};
constexpr int kClientWidth = 4125;
constexpr int kClientHeight = 420;

// Per-monitor DPI functions exist from Windows 10 1607; older systems get
// the screen's DPI.
UINT WindowDpi(HWND window) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto get_dpi = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (get_dpi != nullptr && window != nullptr) {
    if (UINT dpi = get_dpi(window); dpi != 0) return dpi;
  }
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96u;
}

int Px(int twips, UINT dpi) {
  return MulDiv(twips, static_cast<int>(dpi), 1440);
}

// The outer size whose client area is the window's 4125 x 420 twips.
SIZE OuterSize(DWORD style, DWORD ex_style, UINT dpi) {
  RECT rect{0, 0, Px(kClientWidth, dpi), Px(kClientHeight, dpi)};
  using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
  static const auto adjust = reinterpret_cast<AdjustForDpiFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
  if (adjust != nullptr) {
    adjust(&rect, style, FALSE, ex_style, dpi);
  } else {
    AdjustWindowRectEx(&rect, style, FALSE, ex_style);
  }
  return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

class Win32TextBox : public TextBox {
 public:
  void Attach(HWND edit) { edit_ = edit; }
  std::wstring Text() override {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(edit_)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(edit_, text.data(), static_cast<int>(text.size()))));
    return text;
  }
  void SetText(const std::wstring& text) override { SetWindowTextW(edit_, text.c_str()); }

 private:
  HWND edit_ = nullptr;
};

class Win32MainWindow : public MainWindow {
 public:
  explicit Win32MainWindow(const Services& services) : services_(services) {
    instance_ = GetModuleHandleW(nullptr);
    RegisterClass();
    const DWORD style = WS_OVERLAPPEDWINDOW;
    const SIZE size = OuterSize(style, 0, WindowDpi(nullptr));
    window_ = CreateWindowExW(0, kClassName, kWindowTitle, style, CW_USEDEFAULT, CW_USEDEFAULT,
                              size.cx, size.cy, nullptr, nullptr, instance_, this);
    if (window_ == nullptr) throw StandardError(err::kOutOfMemory);
    // The default placement was chosen at the system DPI; the window's own
    // DPI decides its client area.
    const UINT dpi = WindowDpi(window_);
    const SIZE actual = OuterSize(style, 0, dpi);
    SetWindowPos(window_, nullptr, 0, 0, actual.cx, actual.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    CreateControls(dpi);
    HWND window = window_;
    services_.launch.SetEndNotice([window] { PostMessageW(window, kScriptEnded, 0, 0); });
  }

  ~Win32MainWindow() override {
    services_.launch.SetEndNotice(nullptr);
    if (window_ != nullptr) DestroyWindow(window_);
  }

  TextBox& Text1() override { return text1_; }

  int Run(WindowEvents& events) override {
    events_ = &events;
    ShowWindow(window_, SW_SHOWDEFAULT);
    UpdateWindow(window_);
    SetFocus(GetDlgItem(window_, kText1));
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      // Tab and Shift+Tab between the controls, as in a dialog.
      if (window_ != nullptr && IsDialogMessageW(window_, &msg)) continue;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    events_ = nullptr;
    return exit_code_;
  }

 private:
  void RegisterClass() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &Win32MainWindow::WindowProc;
    wc.hInstance = instance_;
    wc.hIcon = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(kIconId), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXICON),
                                             GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
    wc.hIconSm = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(kIconId), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);  // a second window in one process finds it registered
  }

  void CreateControls(UINT dpi) {
    const auto font = reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT));
    for (const Placement& c : kControls) {
      const bool edit = c.id == kText1;
      const wchar_t* caption = c.id == kCommand2   ? L"..."
                               : c.id == kCommand1 ? L"P"
                               : c.id == kCommand3 ? L"?"
                                                   : L"";
      HWND control = CreateWindowExW(
          edit ? WS_EX_CLIENTEDGE : 0, edit ? L"EDIT" : L"BUTTON", caption,
          WS_CHILD | WS_VISIBLE | WS_TABSTOP |
              (edit ? DWORD{ES_AUTOHSCROLL | ES_LEFT} : DWORD{BS_PUSHBUTTON}),
          Px(c.left, dpi), Px(c.top, dpi), Px(c.width, dpi), Px(c.height, dpi), window_,
          reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance_, nullptr);
      SendMessageW(control, WM_SETFONT, font, FALSE);
    }
    text1_.Attach(GetDlgItem(window_, kText1));
  }

  void PlaceControls(UINT dpi) {
    for (const Placement& c : kControls) {
      SetWindowPos(GetDlgItem(window_, c.id), nullptr, Px(c.left, dpi), Px(c.top, dpi),
                   Px(c.width, dpi), Px(c.height, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }

  void Click(void (WindowEvents::*handler)()) {
    if (events_ == nullptr) return;
    busy_ = true;
    const bool ok = RunClickHandler(services_.dialogs, *events_, handler);
    busy_ = false;
    if (!ok) {
      exit_code_ = 1;
      DestroyWindow(window_);
    } else if (script_ended_) {
      script_ended_ = false;
      Click(&WindowEvents::ScriptEnded);
    }
  }

  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
      case WM_COMMAND:
        if (HIWORD(wparam) == BN_CLICKED) {
          switch (LOWORD(wparam)) {
            case kCommand1: Click(&WindowEvents::Command1_Click); return 0;
            case kCommand2: Click(&WindowEvents::Command2_Click); return 0;
            case kCommand3: Click(&WindowEvents::Command3_Click); return 0;
            default: return 0;  // IDOK / IDCANCEL from Return / Escape: nothing
          }
        }
        break;
      case 0x02E0: {  // WM_DPICHANGED: moved to a monitor with another DPI
        PlaceControls(HIWORD(wparam));
        const auto* suggested = reinterpret_cast<const RECT*>(lparam);
        SetWindowPos(window_, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
      }
      case kScriptEnded:
        // A box's own loop delivers it too: told once that handler returns.
        if (busy_) {
          script_ended_ = true;
        } else {
          Click(&WindowEvents::ScriptEnded);
        }
        return 0;
      case WM_ACTIVATE:
        // Back from a box or another program: the focus returns to the
        // control that had it.
        if (LOWORD(wparam) == WA_INACTIVE) {
          HWND focus = GetFocus();
          if (focus != nullptr && IsChild(window_, focus)) focus_ = focus;
        } else if (focus_ != nullptr) {
          SetFocus(focus_);
        }
        return 0;
      case WM_DESTROY:
        window_ = nullptr;
        PostQuitMessage(exit_code_);
        return 0;
      default: break;
    }
    return DefWindowProcW(window_, message, wparam, lparam);
  }

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
      auto* self =
          static_cast<Win32MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
      self->window_ = window;
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Win32MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr || self->window_ == nullptr) {
      return DefWindowProcW(window, message, wparam, lparam);
    }
    return self->Handle(message, wparam, lparam);
  }

  Services services_;
  HINSTANCE instance_ = nullptr;
  HWND window_ = nullptr;
  HWND focus_ = nullptr;
  Win32TextBox text1_;
  WindowEvents* events_ = nullptr;
  int exit_code_ = 0;
  bool busy_ = false;          // a handler runs
  bool script_ended_ = false;  // the script ended while it ran
};

}  // namespace

std::unique_ptr<MainWindow> CreateMainWindow(const Services& services) {
  return std::make_unique<Win32MainWindow>(services);
}

}  // namespace voderer::frontend
