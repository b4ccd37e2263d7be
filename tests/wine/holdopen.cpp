// Keeps its own executable running (and so locked against copies) for the
// number of milliseconds given as its argument.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
    Sleep(argc > 1 ? static_cast<DWORD>(std::atoi(argv[1])) : 1000);
    return 0;
}
