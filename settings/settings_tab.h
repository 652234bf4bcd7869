#pragma once
// The settings tab: remembered device and rate, storage folder choice. Window thread.
void SaveDefaultDevice();
void SaveDefaultQuality();
void ChooseStorageFolder();
