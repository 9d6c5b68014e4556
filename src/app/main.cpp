#include "app.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR commandTail, int)
{
    return AppMain(hInstance, commandTail);
}
