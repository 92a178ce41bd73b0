// The process's entry point on Linux; the command line is not used.
#include "app/program.h"

int main() {
  return voderer::app::ProgramMain();
}
