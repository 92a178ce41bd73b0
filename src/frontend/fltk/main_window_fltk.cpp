// The main window with FLTK: the row of controls at their twip sizes, scaled from
// 96 DPI by the screen's DPI.
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/x.H>

#include <cmath>
#include <memory>

#include "frontend/error_box.h"
#include "frontend/fltk/fonts.h"
#include "platform/utf8_text.h"
#include "frontend/fltk/window_icon.h"
#include "frontend/window.h"

namespace voderer::frontend {
namespace {

class FltkTextBox : public TextBox {
 public:
  explicit FltkTextBox(Fl_Input& input) : input_(input) {}
  std::wstring Text() override { return FromUtf8(input_.value()); }
  void SetText(const std::wstring& text) override { input_.value(ToUtf8(text).c_str()); }

 private:
  Fl_Input& input_;
};

// Twips to pixels at the screen's DPI (15 twips per pixel at 96 DPI).
class Scale {
 public:
  Scale() {
    fl_open_display();
    UseFontWithHangul();
    float h = 96.0f;
    float v = 96.0f;
    Fl::screen_dpi(h, v, 0);
    if (h > 0.0f) dpi_ = static_cast<double>(h);
  }
  int operator()(int twips) const {
    return static_cast<int>(std::lround(static_cast<double>(twips) * dpi_ / 1440.0));
  }
  int Font(int size_at_96) const {
    return static_cast<int>(std::lround(static_cast<double>(size_at_96) * dpi_ / 96.0));
  }

 private:
  double dpi_ = 96.0;
};

class FltkMainWindow : public MainWindow {
 public:
  explicit FltkMainWindow(const Services& services)
      : services_(services),
        window_(px_(4125), px_(420)),
        text1_(px_(0), px_(0), px_(2535), px_(375)),
        command2_(px_(2520), px_(0), px_(495), px_(375), "..."),
        command1_(px_(3000), px_(0), px_(615), px_(375), "P"),
        command3_(px_(3600), px_(0), px_(495), px_(375), "?"),
        // The free corner right of and below the row takes up any resize,
        // so the controls keep their places and sizes.
        stretch_(px_(4095), px_(375), px_(4125) - px_(4095), px_(420) - px_(375)),
        text_box_(text1_) {
    window_.end();
    title_ = ToUtf8(kWindowTitle);
    window_.label(title_.c_str());
    window_.resizable(&stretch_);
    window_.size_range(1, 1);
    const int font = px_.Font(12);
    text1_.textsize(font);
    for (Fl_Button* button : {&command2_, &command1_, &command3_}) {
      button->labelsize(font);
      button->callback(&FltkMainWindow::Clicked, this);
    }
    window_.callback(&FltkMainWindow::CloseRequested, this);
    const RgbImage icon = DecodeIcon(ProgramIconFile());
    if (!icon.rgb.empty()) {
      // The window keeps a copy of the picture.
      const Fl_RGB_Image picture(icon.rgb.data(), icon.width, icon.height, 3);
      window_.icon(&picture);
    }
    // From the launcher's thread to this one: Fl::awake wakes the loop.
    services_.launch.SetEndNotice([] { Fl::awake(&FltkMainWindow::ScriptEndedAwake, nullptr); });
  }

  ~FltkMainWindow() override { services_.launch.SetEndNotice(nullptr); }

  TextBox& Text1() override { return text_box_; }

  int Run(WindowEvents& events) override {
    events_ = &events;
    running_ = this;
    // Makes Fl::awake from other threads wake the event loop.
    Fl::lock();
    window_.show();
    text1_.take_focus();
    Fl::run();
    running_ = nullptr;
    events_ = nullptr;
    return exit_code_;
  }

 private:
  static void Clicked(Fl_Widget* widget, void* data) {
    auto* self = static_cast<FltkMainWindow*>(data);
    void (WindowEvents::*handler)() = &WindowEvents::Command3_Click;
    if (widget == &self->command1_) handler = &WindowEvents::Command1_Click;
    if (widget == &self->command2_) handler = &WindowEvents::Command2_Click;
    self->Handle(handler);
  }

  // On the UI thread, from the event loop or a box's loop inside a handler.
  static void ScriptEndedAwake(void*) {
    FltkMainWindow* self = running_;
    if (self == nullptr) return;  // the window is gone: nothing to tell
    if (self->busy_) {
      self->script_ended_ = true;  // told once the handler returns
      return;
    }
    self->Handle(&WindowEvents::ScriptEnded);
  }

  void Handle(void (WindowEvents::*handler)()) {
    busy_ = true;
    const bool ok = RunClickHandler(services_.dialogs, *events_, handler);
    busy_ = false;
    if (!ok) {
      exit_code_ = 1;
      window_.hide();
    } else if (script_ended_) {
      script_ended_ = false;
      Handle(&WindowEvents::ScriptEnded);
    }
  }

  static void CloseRequested(Fl_Widget*, void* data) {
    // FLTK also calls this for Escape; only a close request ends the program.
    if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
    static_cast<FltkMainWindow*>(data)->window_.hide();
  }

  Services services_;
  Scale px_;
  Fl_Double_Window window_;
  Fl_Input text1_;
  Fl_Button command2_;
  Fl_Button command1_;
  Fl_Button command3_;
  Fl_Box stretch_;
  FltkTextBox text_box_;
  std::string title_;
  WindowEvents* events_ = nullptr;
  int exit_code_ = 0;
  bool busy_ = false;          // a handler runs
  bool script_ended_ = false;  // the script ended while it ran
  // The window whose loop runs: the one the script's end goes to.
  static inline FltkMainWindow* running_ = nullptr;
};

}  // namespace

std::unique_ptr<MainWindow> CreateMainWindow(const Services& services) {
  return std::make_unique<FltkMainWindow>(services);
}

}  // namespace voderer::frontend
