// Libraries that only some runs need (rendering, fonts, compression, TIFF)
// are loaded when one of their functions is first called instead of at every
// start: a converter that splits a PDF into HP-GL pages, or a comparison of
// two vector pages, never touches the rendering libraries, and loading them
// and what they pull in took each such start some 5 ms of its 10; a split
// of HP-GL pages needs no font or compression library either.
//
// cmake/lazy_libraries.cmake gives the program a stand-in for each function
// such a library exports; the first call of a stand-in lands here, which
// loads the library, finds the function, and sets the stand-in to jump
// straight to it from then on.
#pragma once

#include <cstddef>

extern "C" {

// One lazily loaded library: its file name as the loader knows it, its
// handle once loaded, and, for each stand-in, the function's name and where
// the stand-in jumps.
struct MervikLazyLibrary {
    const char* soname;
    void* handle;
    const char* const* names;
    void** slots;
    std::size_t count;
};

// The function behind stand-in index of library: loads the library when it
// is not yet, and enters the function in its slot. A library or function
// that cannot be had ends the program with the loader's own exit status, 127,
// and a line that names it: the same as when a library named at link time is
// missing, only later.
void* mervik_lazy_resolve(MervikLazyLibrary* library, std::size_t index);

}  // extern "C"
