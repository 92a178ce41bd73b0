// The entry point; the command line is not used.
#include "window.h"

int main() {
  return voderer::frontend::ProgramMain();
}
