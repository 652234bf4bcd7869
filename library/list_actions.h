#pragma once
// The actions on a listed recording: the popup menu "右键管理", open with
// the associated program, show in its folder, delete after a question.
// Each works on the selected row and takes the path from its hidden column.
// Window thread.
#include <string>

void ShowListMenu();
void PlayFile();
void LocateFile();
void DeleteRecording();

// Shows the file selected in the file manager; false when it does not exist
// or the shell refused.
bool ShowInFolder(const std::string& path);
