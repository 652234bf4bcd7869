#pragma once
// The actions on a listed recording: popup menu, open, locate, delete. Window thread.
void ShowListMenu();
void PlayFile();
void LocateFile();
void DeleteRecording();
