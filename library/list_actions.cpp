#include "library/list_actions.h"

void ShowListMenu() {}
void PlayFile() {}
void LocateFile() {}
void DeleteRecording() {}
