#pragma once
// Program start-up and shutdown: creates the program-wide objects, the main
// window and runs the message loop; the clean-up routine runs at the end.
int RunProgram(int argc, char** argv);

// Window thread, before the main window is made: the icon, the header record
// and the player.
void CreateProgramObjects();
// Releases the program-wide objects and texts, in this order, once the
// message loop has ended.
void CleanUp();
