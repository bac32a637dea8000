// The failure path of the DIE cursor, out of the way of its reads.
#include "dwarf/die_cursor.h"

namespace dravont {

void DieCursor::raise_failure(const ByteSpan& span, bool big, const char* what, uint64_t position) {
    ByteReader(span, big ? ByteOrder::Big : ByteOrder::Little).fail(what ? what : "data", position);
}

}  // namespace dravont
