#include "settings/settings_tab.h"

void SaveDefaultDevice() {}
void SaveDefaultQuality() {}
void ChooseStorageFolder() {}
