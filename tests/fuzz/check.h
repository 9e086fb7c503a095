// The fuzz targets' one way to say that an input broke a rule: libFuzzer takes the abort as a finding.
#pragma once

#include <cstdlib>

namespace fuzz {

inline void check(bool condition) {
    if (!condition) std::abort();
}

} // namespace fuzz
