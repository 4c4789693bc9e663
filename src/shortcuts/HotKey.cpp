#include "shortcuts/HotKey.h"

#include "shortcuts/HotKeyCenter.h"

HotKey::HotKey(HotKeyCenter& center, int carbonKeyCode, int carbonModifiers, std::function<void()> onKeyDown,
    std::function<void()> onKeyUp)
    : carbonKeyCode(carbonKeyCode),
      carbonModifiers(carbonModifiers),
      onKeyDown(std::move(onKeyDown)),
      onKeyUp(std::move(onKeyUp)),
      id(center.nextHotKeyId()),
      m_center(center)
{ }

HotKey::~HotKey()
{
    m_center.hotKeyDestroyed(*this);
}
