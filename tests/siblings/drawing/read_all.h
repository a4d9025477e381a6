// Collects every page a reader hands on, with its outcome.
#pragma once

#include <utility>
#include <vector>

#include "drawing/hpgl/hpgl.h"
#include "drawing/page.h"

namespace drawing::test {

struct Read {
    bool ok = false;
    ReadError error;
    std::vector<Page> pages;
};

// read(sink, error) is one reader's call on one input.
template <typename Reader>
Read readAll(Reader read) {
    Read r;
    r.ok = read(
        [&](Page&& p) {
            r.pages.push_back(std::move(p));
            return true;
        },
        r.error);
    return r;
}

}  // namespace drawing::test
