#include "app/startup.h"

namespace tavrel {

// Windows has no signal for a broken pipe: a failed write is an error result there already.
void prepareProcess() {}

}  // namespace tavrel
