#pragma once

#include <QIcon>

namespace ui {

// The program's icon in every size it is drawn in: the windows' icon and the
// picture in the About box.
QIcon ProgramIcon();

}  // namespace ui
