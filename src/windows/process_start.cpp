// The Windows program's own process start-up, in place of the MinGW-w64 runtime's.
//
// The runtime's start-up objects are built for newer processors than the 486 that Windows 95
// runs on, and do more than this console tool needs: no exceptions, no thread-local storage,
// no data imported from DLLs. This asks the C runtime for the arguments, runs the constructors
// of static objects and hands over to the tool; exit() flushes standard output and runs the
// destructors.
#include <cstdlib>

#include "front/front_end.h"

extern "C" {
struct _startupinfo {
    int newmode;
};
int __cdecl __getmainargs(int* argc, char*** argv, char*** envp, int expand_wildcards,
                          _startupinfo* info);
void __cdecl __set_app_type(int type);
void __cdecl __main();  // the MinGW runtime's: constructors of static objects
void __cdecl slotpush_process_start();
}

namespace {
constexpr int CONSOLE_APP = 1;
constexpr int NO_WILDCARD_EXPANSION = 0;
}  // namespace

// Functions for exit() to call go to the C runtime's own table, as the runtime's start-up does.
extern "C" int __cdecl atexit(void(__cdecl* function)()) {
    return _onexit(reinterpret_cast<_onexit_t>(function)) != nullptr ? 0 : -1;
}

// The entry point the linker is told of; Windows calls it with no arguments.
void __cdecl slotpush_process_start() {
    __set_app_type(CONSOLE_APP);
    int argc = 0;
    char** argv = nullptr;
    char** envp = nullptr;
    _startupinfo info = {0};
    if (__getmainargs(&argc, &argv, &envp, NO_WILDCARD_EXPANSION, &info) < 0) std::exit(255);
    __main();
    std::exit(slotpush_process(argc, argv));
}
