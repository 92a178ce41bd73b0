// One line of a batch script as the command interpreter reads it. A pure
// function of the line's bytes: no file system, no environment.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace runbat {

enum class Verb {
  kNothing,   // blank line, label or remark
  kEcho,      // echo [on|off|text]
  kRd,        // rd / rmdir
  kMkDir,     // md / mkdir
  kCd,        // cd / chdir
  kDel,       // del / erase
  kExternal,  // any other command: a program to run
};

struct BatchLine {
  Verb verb = Verb::kNothing;
  bool quiet = false;                 // led by '@': not echoed
  std::string program;                // kExternal: the command word
  std::vector<std::string> args;      // words after the command
  std::vector<std::string> switches;  // built-ins: "/x" words, without '/', upper case
  std::string echo_text;              // kEcho: the rest of the line as written
  std::string text;                   // the line after '%' handling, for echoing
};

// Parses one line (a trailing CR or LF is ignored). `%%` stands for `%`;
// other `%` references name variables, of which a script run here has none,
// so they vanish as undefined ones do. Double quotes group a word and are
// removed; outside them `\` becomes `/`. Command names are matched without
// regard to case.
BatchLine ParseBatchLine(std::string_view line);

}  // namespace runbat
