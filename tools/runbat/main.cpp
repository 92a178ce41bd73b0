// runbat SCRIPT: runs a batch script the way the Windows command interpreter
// runs the patch script.
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "batch_runner.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: runbat SCRIPT\n";
    return 2;
  }
  // Read whole first: the script may delete its own file.
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::cerr << "runbat: cannot open " << argv[1] << '\n';
    return 2;
  }
  const std::string script{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) {
    std::cerr << "runbat: cannot read " << argv[1] << '\n';
    return 2;
  }
  return runbat::RunBatchScript(script);
}
