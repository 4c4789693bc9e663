#include "shortcuts/KeyboardLayout.h"

#include "shortcuts/KeyMap.h"

namespace {

class UsLayout : public KeyboardLayout {
public:
    QString characterForKey(int keyCode) const override { return KeyMap::usCharacter(keyCode); }
};

const KeyboardLayout* installed = nullptr;

} // namespace

KeyboardLayout::~KeyboardLayout() = default;

const KeyboardLayout& KeyboardLayout::current()
{
    static const UsLayout us;
    return installed ? *installed : us;
}

void KeyboardLayout::setCurrent(const KeyboardLayout* layout)
{
    installed = layout;
}
