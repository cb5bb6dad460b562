#pragma once
// The program's own icon (two speech bubbles holding a mesh), in every size it ships in.

#include <QIcon>

namespace tarnivel {

QIcon programIcon();

} // namespace tarnivel
