// read_console OUT PROGRAM [ARG...]: runs PROGRAM in a console of its own,
// with its output and errors going there, and writes what the console then
// shows (its lines, trailing blanks cut) as UTF-8 into OUT. Under Wine the
// console needs a display.
#include <windows.h>

#include <cstdio>
#include <string>

#include "utf8_file.h"

namespace {

std::wstring CommandLine(int argc, wchar_t** argv) {
  std::wstring line;
  for (int i = 2; i < argc; ++i) {
    if (i > 2) line += L' ';
    line += L'"';
    line += argv[i];
    line += L'"';
  }
  return line;
}

std::wstring ScreenText(HANDLE console) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(console, &info)) return {};
  std::wstring text;
  for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
    std::wstring row(static_cast<std::size_t>(info.dwSize.X), L' ');
    DWORD got = 0;
    ReadConsoleOutputCharacterW(console, row.data(), static_cast<DWORD>(row.size()), COORD{0, y},
                                &got);
    row.resize(got);
    while (!row.empty() && row.back() == L' ') row.pop_back();
    text += row + L"\n";
  }
  return text;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fputs("usage: read_console OUT PROGRAM [ARG...]\n", stderr);
    return 2;
  }
  // A console of our own, whatever this process was started with.
  FreeConsole();
  if (!AllocConsole()) return 3;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE console =
      CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  &inherit, OPEN_EXISTING, 0, nullptr);
  if (console == INVALID_HANDLE_VALUE) return 3;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = console;
  startup.hStdError = console;
  PROCESS_INFORMATION process{};
  std::wstring command = CommandLine(argc, argv);
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return 4;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);

  const std::wstring text = ScreenText(console);
  if (text.empty()) return 5;
  return WriteUtf8File(argv[1], text) ? 0 : 2;
}
