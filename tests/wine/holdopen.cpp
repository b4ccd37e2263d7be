// Keeps its own executable running (and so locked against copies) for the
// number of milliseconds given as its first argument; with a path as its
// second, holds that file open for reading (no write or delete sharing) too.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
    HANDLE held = INVALID_HANDLE_VALUE;
    if (argc > 2)
        held = CreateFileA(argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    Sleep(argc > 1 ? static_cast<DWORD>(std::atoi(argv[1])) : 1000);
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    return argc > 2 && held == INVALID_HANDLE_VALUE ? 1 : 0;
}
