// The program's icon at every size the artwork comes in, so windows, task switchers and
// the tray pick a crisp picture at any scale.
#pragma once

#include <QIcon>

QIcon AppIcon();
