// The program's entry: the framework runs the application object.
#include <windows.h>

#include "framework/app.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) { return qfw::AfxWinMain(instance); }
