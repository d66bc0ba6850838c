#pragma once

#include "core/files/instance_guard.h"
#include "ui/toolkit.h"

namespace station {

// Takes the session's single-instance token before any window exists; when another copy holds
// it, says "Program jest już uruchomiony!" and returns false: the program then ends.
bool TakeSingleInstance(InstanceGuard& guard, ui::Toolkit& toolkit);

}  // namespace station
