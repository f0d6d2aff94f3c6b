// The program start of Online Update and its two ways to end.
//
// Exit codes: 0 when the dialog was closed (Cancel or the close box, also during a transfer,
// which is ended at once); 1 when a completed download reached the question whether to open the
// installer, whatever the answer; 2 when the dialog could not be shown at all (no display), with
// the reason on standard error.
//
// Threads: main thread.
#pragma once

namespace update {

// The program: initialises the application object, runs ShowOnlineUpdate and returns the exit
// code for main() (0, or 2 with a message on stderr when the dialog cannot be shown). The exit
// with code 1 never returns here: it ends the process from inside the done event (ExitProgram).
int ProgramMain();

// Ends the process now with `code`, from wherever it is called: the application is asked to
// terminate, standard output and error are flushed; static destructors do NOT run: the transfer's
// worker thread is still inside its finish step (waiting on the main thread, which runs the done
// event), and must not see the objects it waits on torn down under it. The kernel closes our files
// and the display connection; started programs run on in their own sessions. Does not return,
// unless a test has replaced the process end (update/testing.h): then it returns after the test's
// hook has run.
void ExitProgram(int code);

}  // namespace update
