// Online Update: the program start.
#include "update/program.h"

int main() {
  return update::ProgramMain();
}
