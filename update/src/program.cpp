#include "update/program.h"

#include <cstdio>
#include <cstdlib>
#include <exception>

#include "seams.h"
#include "update/iupdate.h"
#include "vcl/application.h"

namespace update {

int ProgramMain() {
  vcl::Application().Initialize();
  try {
    ShowOnlineUpdate();
  } catch (const std::exception& error) {
    // No display, or a fault that ended the modal show: there is no dialog left to tell it in.
    std::fprintf(stderr, "Online Update: %s\n", error.what());
    return 2;
  }
  // The application's run step would return at once here: no main form was ever registered, so
  // there is no loop left to run and the program ends with 0.
  return 0;
}

void ExitProgram(int code) {
  if (detail::RunProgramExitReplacement(code)) return;
  vcl::Application().Terminate();
  std::fflush(nullptr);
  std::_Exit(code);
}

}  // namespace update
