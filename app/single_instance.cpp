#include "app/single_instance.h"

namespace station {

bool TakeSingleInstance(InstanceGuard& guard, ui::Toolkit& toolkit) {
    if (guard.Acquire(InstanceGuard::SessionTokenPath())) {
        return true;
    }
    toolkit.ShowErrorBox(nullptr, QStringLiteral("Error"),
                         QString::fromUtf8("Program jest już uruchomiony!"));
    return false;
}

}  // namespace station
