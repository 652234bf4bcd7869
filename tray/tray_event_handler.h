#pragma once
// What an event of the notification icon does to the main window: a left
// click shows it and brings it back to its normal state; every other event
// is ignored. Window thread.
class QWidget;

void TrayEventHandler(int code, QWidget* window);
