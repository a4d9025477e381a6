// The stand-ins through which the siblings reach the libraries they load on
// first use: what the first call passes arrives whole, whichever registers
// it travels in, and what cannot be loaded is said and ends the program.
#include "common/lazy_libraries.h"

#include <cairo.h>
#include <dlfcn.h>
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>
#include <hb.h>

#include <latch>
#include <thread>
#include <vector>

namespace {

bool loaded(const char* soname) {
    void* handle = dlopen(soname, RTLD_LAZY | RTLD_NOLOAD);
    if (handle != nullptr) {
        dlclose(handle);
    }
    return handle != nullptr;
}

// Each test is the first in its process to call its library (ctest runs
// every test on its own), so its first call is the one that loads it.

TEST(LazyLibraries, TheFirstCallLoadsTheLibraryAndGetsEveryFloatingPointArgument) {
#if MERVIK_LAZY_LIBRARIES
    ASSERT_FALSE(loaded(CAIRO_SONAME)) << "loaded at start";
#endif
    // Six doubles, in six vector registers, through the stand-in's first call.
    cairo_matrix_t m;
    cairo_matrix_init(&m, 1.5, -2.25, 3.0, 4.5e-9, 5.25e12, -6.75);
    EXPECT_TRUE(loaded(CAIRO_SONAME));
    EXPECT_EQ(m.xx, 1.5);
    EXPECT_EQ(m.yx, -2.25);
    EXPECT_EQ(m.xy, 3.0);
    EXPECT_EQ(m.yy, 4.5e-9);
    EXPECT_EQ(m.x0, 5.25e12);
    EXPECT_EQ(m.y0, -6.75);
    // Later calls go straight through, and a result comes back in its own
    // register.
    double x = 2, y = 4;
    cairo_matrix_transform_point(&m, &x, &y);
    EXPECT_DOUBLE_EQ(x, 1.5 * 2 + 3.0 * 4 + 5.25e12);
    EXPECT_DOUBLE_EQ(y, -2.25 * 2 + 4.5e-9 * 4 - 6.75);
    EXPECT_GE(cairo_version(), CAIRO_VERSION_ENCODE(1, 0, 0));
}

TEST(LazyLibraries, AVariadicFunctionGetsItsArgumentsOnTheFirstCall) {
#if MERVIK_LAZY_LIBRARIES
    ASSERT_FALSE(loaded(FONTCONFIG_SONAME)) << "loaded at start";
#endif
    // A variadic call passes the number of vector registers it uses in a
    // register of its own, which the first call must keep too.
    FcPattern* p =
        FcPatternBuild(nullptr, FC_FAMILY, FcTypeString, "Serif", FC_SIZE, FcTypeDouble, 12.5,
                       FC_WEIGHT, FcTypeInteger, FC_WEIGHT_BOLD, static_cast<char*>(nullptr));
    ASSERT_NE(p, nullptr);
    FcChar8* family = nullptr;
    double size = 0;
    int weight = 0;
    EXPECT_EQ(FcPatternGetString(p, FC_FAMILY, 0, &family), FcResultMatch);
    EXPECT_STREQ(reinterpret_cast<const char*>(family), "Serif");
    EXPECT_EQ(FcPatternGetDouble(p, FC_SIZE, 0, &size), FcResultMatch);
    EXPECT_EQ(size, 12.5);
    EXPECT_EQ(FcPatternGetInteger(p, FC_WEIGHT, 0, &weight), FcResultMatch);
    EXPECT_EQ(weight, FC_WEIGHT_BOLD);
    FcPatternDestroy(p);
}

TEST(LazyLibraries, ThreadsCallingFirstAtOnceAllGetTheFunction) {
    constexpr int kThreads = 8;
    std::latch start(kThreads);
    std::vector<const char*> versions(kThreads);
    std::vector<hb_bool_t> atLeast(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            start.arrive_and_wait();
            versions[i] = hb_version_string();
            atLeast[i] = hb_version_atleast(1, 0, 0);
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    for (int i = 0; i < kThreads; ++i) {
        EXPECT_STREQ(versions[i], HB_VERSION_STRING) << i;
        EXPECT_TRUE(atLeast[i]) << i;
    }
}

TEST(LazyLibrariesDeathTest, AMissingLibraryOrFunctionIsNamedAndEndsTheProgram) {
    const char* const names[] = {"cairo_no_such_function_here"};
    void* slots[1] = {};
    MervikLazyLibrary missing{"libmervik-no-such-library.so.9", nullptr, names, slots, 1};
    EXPECT_EXIT(mervik_lazy_resolve(&missing, 0), testing::ExitedWithCode(127),
                "cannot load libmervik-no-such-library\\.so\\.9");
    MervikLazyLibrary cairo{CAIRO_SONAME, nullptr, names, slots, 1};
    EXPECT_EXIT(mervik_lazy_resolve(&cairo, 0), testing::ExitedWithCode(127),
                "cannot load function cairo_no_such_function_here");
}

TEST(LazyLibraries, TheResolverFillsTheSlot) {
    const char* const names[] = {"cairo_version"};
    void* slots[1] = {};
    MervikLazyLibrary cairo{CAIRO_SONAME, nullptr, names, slots, 1};
    void* f = mervik_lazy_resolve(&cairo, 0);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(slots[0], f);
    EXPECT_NE(cairo.handle, nullptr);
    EXPECT_EQ(reinterpret_cast<int (*)()>(f)(), cairo_version());
}

}  // namespace
