// The stub carried inside the builder (empty when it was built without one).
#pragma once

#include <cstddef>

extern const unsigned char kEmbeddedStub[];
extern const size_t kEmbeddedStubSize;
