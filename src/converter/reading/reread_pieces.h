// The pieces of an occurrence that the second reading reads again, named in
// one place: whatever copies them (the spill of an input read once) or goes
// back to them takes this list.
#pragma once

#include <cstdint>

#include "converter/line/occurrence_place.h"

namespace ondravane {

// Calls `visit(offset, length)` for each piece of `place` the second reading
// reads again, in this order: the token (from its opening quotation mark to
// its closing one) when its text is not kept, then the first layer's list
// of values when there is a layer. `offset`, within the line, may be
// rewritten by the visit (to the piece's place in a copy).
template <typename Visit>
void for_each_reread_piece(OccurrencePlace& place, bool token_text_kept, Visit&& visit) {
  if (!token_text_kept) visit(place.token, place.token_length);
  if (place.values != OccurrencePlace::kNoLayer) visit(place.values, place.values_length);
}

}  // namespace ondravane
