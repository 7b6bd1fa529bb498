#pragma once
#include <cstddef>
#include <cstdint>

namespace fuzztargets {

// A booster reply body read as every kind of reply; each text of a record that
// was read must convert back to UTF-8 (a difference aborts). Replayed from
// fuzz/corpus/booster_reply/ by the booster's tests.
int BoosterReply(const uint8_t* data, size_t size);

}  // namespace fuzztargets
