#pragma once
// Program start-up and shutdown: creates the program-wide objects, the main
// window and runs the message loop; the clean-up routine runs at the end.
int RunProgram(int argc, char** argv);
