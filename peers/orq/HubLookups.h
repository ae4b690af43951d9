// Lookups of the hub's own state that tools make (zorvctl devices, show and
// the verdict on a write): the list of devices and the holder of a lock. Both
// are requests with a text block, on either transport; the answer is written
// over the block.
#pragma once

#include <windows.h>

namespace orq {

// Block "N": the profile of the lowest device numbered above N, as 2041
// answers it ("device version letter sources size 'name'"), reply code 1;
// reply code 0 when there is none.
inline constexpr UINT deviceListRequest = 49330;
// Block "device index": the workstation holding the index's lock as text, or
// an empty text when it is not locked, reply code 1; reply code 0 when the
// device does not have the index.
inline constexpr UINT lockHolderRequest = 49331;

}  // namespace orq
