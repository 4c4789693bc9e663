#include "shortcuts/Notifier.h"

namespace GlobalShortcuts {

Notifier& Notifier::shared()
{
    // Lives for the whole run; never destroyed, so late senders never reach a dead object.
    static Notifier* notifier = new Notifier;
    return *notifier;
}

} // namespace GlobalShortcuts
