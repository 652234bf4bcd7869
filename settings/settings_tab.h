#pragma once
// The settings tab: the remembered device and rate, and the storage folder
// choice. Window thread.
#include <functional>
#include <string>

// "默认设备" when the list of cmbInput closes; "默认品质" on each selection of cmbRate.
void SaveDefaultDevice();
void SaveDefaultQuality();

// The folder browser; "" when cancelled.
std::string BrowseForFolder(const std::string& title = "请选择一个文件夹");
// Every "//" becomes "/" (one pass from the start).
std::string CollapseDoubledSeparators(const std::string& text);
void ChooseStorageFolder();

// Tests replace the folder browser with a scripted answer.
std::function<std::string()>& TestFolderBrowser();
