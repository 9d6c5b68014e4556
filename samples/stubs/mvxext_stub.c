/* Stand-in for the Melvox shell extension in sample installs. Setup only
 * registers it; a shell that loads it finds no class and leaves it alone. */
#include <windows.h>

__declspec(dllexport) HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void **object)
{
    (void)clsid;
    (void)iid;
    if (object)
        *object = NULL;
    return CLASS_E_CLASSNOTAVAILABLE;
}

__declspec(dllexport) HRESULT WINAPI DllCanUnloadNow(void)
{
    return S_OK;
}
