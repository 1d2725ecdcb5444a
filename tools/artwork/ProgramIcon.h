#pragma once

#include <QString>

// Draws the program icon into `folder`: quorelle-player-<size>.png for each
// of the desktop's icon sizes and quorelle-player.svg, both from one drawing.
// False when a file cannot be written.
bool WriteProgramIcon(const QString& folder);
