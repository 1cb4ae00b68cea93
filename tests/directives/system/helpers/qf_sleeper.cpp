// A program that only waits, so that the PROCESS tests have running copies of a known image. It sets
// the event named by its argument once it runs; the timeout keeps a copy from outliving a killed run.
#include <windows.h>

int main(int argc, char** argv) {
    if (argc > 1) {
        HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[1]);
        if (ready != nullptr) {
            SetEvent(ready);
            CloseHandle(ready);
        }
    }
    Sleep(120000);
    return 0;
}
