#include "common/lazy_libraries.h"

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

std::mutex loading;

[[noreturn]] void cannotLoad(const char* what, const char* name) {
    const char* why = dlerror();
    std::fprintf(stderr, "%s: cannot load %s%s: %s\n", program_invocation_short_name, what, name,
                 why != nullptr ? why : "not found");
    std::fflush(stderr);
    // Exit handlers could call into the very library that is missing.
    _exit(127);
}

}  // namespace

extern "C" void* mervik_lazy_resolve(MervikLazyLibrary* library, std::size_t index) {
    void* handle = std::atomic_ref(library->handle).load(std::memory_order_acquire);
    if (handle == nullptr) {
        const std::lock_guard<std::mutex> lock(loading);
        handle = library->handle;
        if (handle == nullptr) {
            // Kept local: the program reaches the library only through its
            // stand-ins, and the library's own references stay inside it.
            handle = dlopen(library->soname, RTLD_LAZY | RTLD_LOCAL);
            if (handle == nullptr) {
                cannotLoad("", library->soname);
            }
            std::atomic_ref(library->handle).store(handle, std::memory_order_release);
        }
    }
    if (index >= library->count) {
        std::fprintf(stderr, "%s: no function %zu in %s\n", program_invocation_short_name, index,
                     library->soname);
        _exit(127);
    }
    void* function = dlsym(handle, library->names[index]);
    if (function == nullptr) {
        cannotLoad("function ", library->names[index]);
    }
    // Two threads may find the same function at once; both store the same.
    std::atomic_ref(library->slots[index]).store(function, std::memory_order_release);
    return function;
}
