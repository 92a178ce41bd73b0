// The runtime services for handler tests: real files (through the system's
// file services), a chosen program folder, and recorded launches, boxes and
// dialogs.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/script_launch.h"
#include "platform/services.h"
#include "platform/system_files.h"

namespace voderer::testing {

class FakePlatform : public Files, public ScriptLaunch, public Dialogs {
 public:
  explicit FakePlatform(std::wstring program_folder) : program_folder_(std::move(program_folder)) {}

  // All three services, as the program hands them to Form1.
  Services AsServices() { return {*this, *this, *this}; }

  // A script launch, or (with `arguments`) a program's.
  struct Launch {
    std::wstring script;  // or the program
    std::vector<std::wstring> arguments;
    std::wstring working_folder;
    EnvironmentChanges environment;
  };
  struct Message {
    std::wstring text;
    std::wstring title;
    BoxIcon icon = BoxIcon::none;
    bool offered_undo = false;
  };

  // What happened.
  std::vector<Launch> launches;
  std::vector<Message> messages;
  std::vector<CommonDialogState> dialogs_shown;  // state as ShowOpen saw it

  // What the world does.
  bool script_running = false;
  bool folders_exist = true;
  // Plays the user in the Open dialog; by default the user cancels.
  std::function<void(CommonDialogState&)> on_show_open;
  // The user's answer to a box that offers Undo; by default OK.
  bool user_chooses_undo = false;

  std::wstring ProgramFolder() override { return program_folder_; }
  std::optional<std::string> ToCodePage(std::wstring_view text) override {
    return real_.ToCodePage(text);
  }
  std::optional<std::wstring> CodePageSafePath(const std::wstring& path) override {
    return real_.CodePageSafePath(path);
  }
  int FreeFile() override { return real_.FreeFile(); }
  void Open(int n, const std::wstring& path, FileMode mode) override { real_.Open(n, path, mode); }
  void PrintLine(int n, std::wstring_view text) override { real_.PrintLine(n, text); }
  void Close(int n) override { real_.Close(n); }
  void Kill(const std::wstring& path) override { real_.Kill(path); }
  std::optional<std::string> ReadSmallFile(const std::wstring& path, std::size_t limit) override {
    return real_.ReadSmallFile(path, limit);
  }
  // Folders the action looks for (Bin) are there unless a test says not.
  bool FolderExists(const std::wstring&) override { return folders_exist; }
  bool FileExists(const std::wstring& path) override { return real_.FileExists(path); }

  void LaunchScript(const std::wstring& script, const std::wstring& working_folder,
                    const EnvironmentChanges& environment) override {
    launches.push_back({script, {}, working_folder, environment});
  }
  void LaunchProgram(const std::wstring& program, const std::vector<std::wstring>& arguments,
                     const std::wstring& working_folder,
                     const EnvironmentChanges& environment) override {
    launches.push_back({program, arguments, working_folder, environment});
  }
  bool ScriptRunning() override { return script_running; }
  void SetEndNotice(std::function<void()> notice) override { end_notice = std::move(notice); }
  // What the window gave SetEndNotice.
  std::function<void()> end_notice;

  void MsgBox(const std::wstring& text, const std::wstring& title, BoxIcon icon) override {
    messages.push_back({text, title, icon});
  }
  bool OfferUndo(const std::wstring& text, const std::wstring& title, BoxIcon icon) override {
    messages.push_back({text, title, icon, true});
    return user_chooses_undo;
  }
  void ShowOpen(CommonDialogState& dialog) override {
    dialogs_shown.push_back(dialog);
    if (on_show_open) on_show_open(dialog);
  }

 private:
  std::wstring program_folder_;
  SystemFiles real_;
};

}  // namespace voderer::testing
