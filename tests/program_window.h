#pragma once
// The whole program inside a test process: start-up as the program does it
// (on whichever audio backend is selected), the window's end, and the
// program-wide state put back as a fresh run finds it.
#include <memory>

class MainWindow;

namespace test {

// The program-wide objects, a shown MainWindow that has run its
// window-created sequence.
std::unique_ptr<MainWindow> OpenProgramWindow();

// A recording still running is stopped at the device first; then the destroy
// sequence runs and the window goes.
void CloseProgramWindow(std::unique_ptr<MainWindow>& window);

// The clean-up, then every other piece of program-wide state a test may have
// changed, the test hooks and the audio backend.
void ResetProgramState();

}  // namespace test
