#pragma once
// The program's plain information box: an OK button, no icon, the title
// "信息：", no owner, modal to the program's windows. Window thread.
#include <string>

void ShowPlainMessage(const std::string& text);
