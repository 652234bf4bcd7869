#pragma once
// What the main window does when it has been created and when it is about
// to be destroyed, and the double click on its status bar. Window thread.
class MainWindow;

void WindowCreated(MainWindow& window);
void WindowDestroying(MainWindow& window);
void StatusBarDoubleClicked();
